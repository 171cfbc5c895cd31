// Where the toolpath is seen from: an orthographic camera turned by yaw
// and pitch about a centre, with the height of the view in millimetres.
// Plain maths, no OpenGL: the standard views, rotate, pan, zoom and fit.
#pragma once

#include <QMatrix4x4>
#include <QVector3D>

#include "toolpath_model.h"

enum class view_side { top, front, side, iso };

class toolpath_camera {
public:
    void set_view(view_side v);
    // The whole of b in view with a margin, seen from the current side.
    void fit(const path_bounds& b);
    // A drag of dx, dy pixels turns the view (half a degree a pixel).
    void rotate(float dx, float dy);
    // A drag of dx, dy pixels moves the picture with the pointer.
    void pan(float dx, float dy);
    // factor > 1 brings the path closer.
    void zoom(float factor);
    void set_viewport(int width, int height);

    QMatrix4x4 matrix() const;
    float mm_per_pixel() const { return height_mm_ / float(h_ > 0 ? h_ : 1); }
    float yaw() const { return yaw_; }
    float pitch() const { return pitch_; }
    QVector3D centre() const { return centre_; }
    float height_mm() const { return height_mm_; }

private:
    QMatrix4x4 rotation() const;

    float yaw_ = -45, pitch_ = -55;  // degrees; pitch 0 looks along -Y, -90 from above
    QVector3D centre_;
    float height_mm_ = 100;
    float depth_ = 1000;  // clip range, from the path's size
    int w_ = 1, h_ = 1;
};
