// The toolpath drawn with OpenGL: the model's strip in one vertex buffer
// (and its coarse level in another, drawn while the view moves), colours by
// kind in the shader, the executed part by comparing each segment's line
// with the executing one, and the tool marker at the machine position. The
// mouse turns (left), moves (right or middle) and zooms (wheel) the view.
#pragma once

#include <QElapsedTimer>
#include <QOpenGLBuffer>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QTimer>
#include <QVector3D>
#include <memory>

#include "toolpath_camera.h"
#include "toolpath_loader.h"

class toolpath_view : public QOpenGLWidget, protected QOpenGLExtraFunctions {
    Q_OBJECT
public:
    explicit toolpath_view(QWidget* parent = nullptr);
    ~toolpath_view() override;

    void set_path(toolpath_ptr data);  // null clears the view
    // Segments of lines before line are drawn as executed (0: none).
    void set_executing_line(uint64_t line);
    uint64_t executing_line() const { return executing_; }
    void set_tool(const QVector3D& machine_position);
    void show_side(view_side v);
    void fit();
    toolpath_camera& camera() { return cam_; }
    // While true the coarse level is drawn; the mouse sets it during a drag.
    void set_moving(bool moving);
    bool moving() const { return moving_; }
    // Why nothing can be drawn (no OpenGL 3 context), empty when all is well.
    QString problem() const { return problem_; }
    uint64_t frames() const { return frames_; }

signals:
    void frame_drawn();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void upload();
    void draw_strip(QOpenGLBuffer& buf, int count);
    void release_gl();

    toolpath_ptr data_;
    toolpath_camera cam_;
    uint64_t executing_ = 0;
    QVector3D tool_;
    bool have_tool_ = false;
    bool dirty_ = false;  // data_ not yet in the buffers
    bool moving_ = false;
    QTimer still_;        // the full level again a moment after the last wheel step
    QPoint last_;
    std::unique_ptr<QOpenGLShaderProgram> prog_;
    QOpenGLBuffer full_{QOpenGLBuffer::VertexBuffer}, coarse_{QOpenGLBuffer::VertexBuffer},
        marker_{QOpenGLBuffer::VertexBuffer};
    unsigned vao_ = 0;
    int full_count_ = 0, coarse_count_ = 0;
    QString problem_;
    uint64_t frames_ = 0;
};
