#include "toolpath_view.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>
#include <algorithm>
#include <cstddef>

namespace {

constexpr int still_after_ms = 250;
constexpr float marker_pixels = 14;
constexpr float wheel_step = 1.2f;  // zoom per notch

// Version 1.30: integer attributes and flat colours, which every OpenGL 3
// context (Mesa's software renderer included) has.
const char* const vertex_src = R"(#version 130
in vec3 pos;
in uint tag;
uniform mat4 mvp;
uniform uint executing;
flat out vec4 colour;
void main() {
    gl_Position = mvp * vec4(pos, 1.0);
    uint kind = tag & 7u;
    uint line = tag >> 3;
    if (kind == 0u) colour = vec4(0.0);                                   // a jump: not drawn
    else if (kind == 5u) colour = vec4(1.0, 0.15, 0.15, 1.0);             // tool marker
    else if (line < executing) colour = vec4(0.55, 0.55, 0.58, 1.0);      // executed
    else if (kind == 1u) colour = vec4(0.95, 0.65, 0.1, 1.0);             // rapid
    else if (kind == 2u) colour = vec4(0.25, 0.6, 1.0, 1.0);              // cut
    else if (kind == 3u) colour = vec4(0.2, 0.85, 0.45, 1.0);             // arc
    else colour = vec4(0.85, 0.4, 0.95, 1.0);                             // probe, home
}
)";
const char* const fragment_src = R"(#version 130
flat in vec4 colour;
out vec4 frag;
void main() {
    if (colour.a == 0.0) discard;
    frag = colour;
}
)";

}  // namespace

toolpath_view::toolpath_view(QWidget* parent) : QOpenGLWidget(parent)
{
    still_.setSingleShot(true);
    still_.setInterval(still_after_ms);
    connect(&still_, &QTimer::timeout, this, [this] { set_moving(false); });
    setMinimumSize(320, 240);
}

toolpath_view::~toolpath_view()
{
    // The context outlives this part of the object: its end must not reach back in.
    if (context()) disconnect(context(), nullptr, this, nullptr);
    makeCurrent();
    release_gl();
    doneCurrent();
}

void toolpath_view::release_gl()
{
    if (!context()) return;
    full_.destroy();
    coarse_.destroy();
    marker_.destroy();
    if (vao_) glDeleteVertexArrays(1, &vao_);
    vao_ = 0;
    prog_.reset();
}

void toolpath_view::set_path(toolpath_ptr data)
{
    data_ = std::move(data);
    dirty_ = true;
    executing_ = 0;
    // The first frame at the coarse level, soon; the full one a moment later.
    moving_ = true;
    still_.start();
    fit();
}

void toolpath_view::set_executing_line(uint64_t line)
{
    if (line == executing_) return;
    executing_ = line;
    update();
}

void toolpath_view::set_tool(const QVector3D& p)
{
    tool_ = p;
    have_tool_ = true;
    update();
}

void toolpath_view::show_side(view_side v)
{
    cam_.set_view(v);
    fit();
}

void toolpath_view::fit()
{
    if (data_) cam_.fit(data_->model.bounds());
    update();
}

void toolpath_view::set_moving(bool m)
{
    if (m == moving_) return;
    moving_ = m;
    update();
}

void toolpath_view::initializeGL()
{
    initializeOpenGLFunctions();
    auto fmt = context()->format();
    if (fmt.majorVersion() < 3) {
        problem_ = QString("OpenGL %1.%2: the view needs 3.0").arg(fmt.majorVersion()).arg(fmt.minorVersion());
        return;
    }
    prog_ = std::make_unique<QOpenGLShaderProgram>();
    if (!prog_->addShaderFromSourceCode(QOpenGLShader::Vertex, vertex_src) ||
        !prog_->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment_src) || !prog_->link()) {
        problem_ = "shaders: " + prog_->log();
        prog_.reset();
        return;
    }
    glGenVertexArrays(1, &vao_);
    for (QOpenGLBuffer* b : {&full_, &coarse_, &marker_}) {
        b->create();
        b->setUsagePattern(b == &marker_ ? QOpenGLBuffer::DynamicDraw : QOpenGLBuffer::StaticDraw);
    }
    dirty_ = true;
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        release_gl();
        doneCurrent();
    });
}

void toolpath_view::resizeGL(int w, int h)
{
    cam_.set_viewport(w, h);
    if (data_) cam_.fit(data_->model.bounds());
}

void toolpath_view::upload()
{
    dirty_ = false;
    const auto* full = data_ ? &data_->model.vertices() : nullptr;
    const auto* coarse = data_ ? &data_->model.coarse() : nullptr;
    full_count_ = full ? int(full->size()) : 0;
    coarse_count_ = coarse ? int(coarse->size()) : 0;
    full_.bind();
    full_.allocate(full ? full->data() : nullptr, int(full_count_ * sizeof(path_vertex)));
    coarse_.bind();
    coarse_.allocate(coarse ? coarse->data() : nullptr, int(coarse_count_ * sizeof(path_vertex)));
}

void toolpath_view::draw_strip(QOpenGLBuffer& buf, int count)
{
    if (count < 2) return;
    buf.bind();
    int pos = prog_->attributeLocation("pos"), tag = prog_->attributeLocation("tag");
    glEnableVertexAttribArray(GLuint(pos));
    glVertexAttribPointer(GLuint(pos), 3, GL_FLOAT, GL_FALSE, sizeof(path_vertex), nullptr);
    glEnableVertexAttribArray(GLuint(tag));
    glVertexAttribIPointer(GLuint(tag), 1, GL_UNSIGNED_INT, sizeof(path_vertex),
                           reinterpret_cast<const void*>(offsetof(path_vertex, tag)));
    glDrawArrays(GL_LINE_STRIP, 0, count);
}

void toolpath_view::paintGL()
{
    glClearColor(0.08f, 0.09f, 0.11f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (prog_) {
        if (dirty_) upload();
        glBindVertexArray(vao_);
        prog_->bind();
        prog_->setUniformValue("mvp", cam_.matrix());
        glUniform1ui(prog_->uniformLocation("executing"), GLuint(std::min<uint64_t>(executing_, path_vertex::max_line)));
        bool coarse = moving_ && coarse_count_ > 1;
        draw_strip(coarse ? coarse_ : full_, coarse ? coarse_count_ : full_count_);
        if (have_tool_) {
            // A cross and the tool's axis, a fixed size on screen.
            float s = marker_pixels * cam_.mm_per_pixel();
            const uint32_t m = uint32_t(path_kind::marker), g = uint32_t(path_kind::gap);
            float x = tool_.x(), y = tool_.y(), z = tool_.z();
            path_vertex v[] = {{x - s, y, z, g}, {x + s, y, z, m}, {x, y - s, z, g}, {x, y + s, z, m},
                               {x, y, z, g},     {x, y, z + 3 * s, m}};
            marker_.bind();
            marker_.allocate(v, int(sizeof v));
            draw_strip(marker_, 6);
        }
        prog_->release();
        glBindVertexArray(0);
    }
    ++frames_;
    emit frame_drawn();
}

void toolpath_view::mousePressEvent(QMouseEvent* e)
{
    last_ = e->pos();
    set_moving(true);
}

void toolpath_view::mouseMoveEvent(QMouseEvent* e)
{
    QPoint d = e->pos() - last_;
    last_ = e->pos();
    if (e->buttons() & Qt::LeftButton)
        cam_.rotate(float(d.x()), float(d.y()));
    else if (e->buttons() & (Qt::RightButton | Qt::MiddleButton))
        cam_.pan(float(d.x()), float(d.y()));
    update();
}

void toolpath_view::mouseReleaseEvent(QMouseEvent*) { set_moving(false); }

void toolpath_view::wheelEvent(QWheelEvent* e)
{
    cam_.zoom(e->angleDelta().y() > 0 ? wheel_step : 1 / wheel_step);
    set_moving(true);
    still_.start();
    update();
}
