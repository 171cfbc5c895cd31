#include "toolpath_camera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float degrees_per_pixel = 0.5f;
constexpr float fit_margin = 1.1f;
constexpr float min_height_mm = 1e-3f, max_height_mm = 1e7f;

}  // namespace

void toolpath_camera::set_view(view_side v)
{
    switch (v) {
    case view_side::top: yaw_ = 0, pitch_ = -90; break;
    case view_side::front: yaw_ = 0, pitch_ = 0; break;
    case view_side::side: yaw_ = -90, pitch_ = 0; break;
    case view_side::iso: yaw_ = -45, pitch_ = -55; break;
    }
}

QMatrix4x4 toolpath_camera::rotation() const
{
    // Z up: from the front (pitch 0) the camera looks along +Y with X to the
    // right; pitch -90 looks straight down.
    QMatrix4x4 r;
    r.rotate(-90 - pitch_, 1, 0, 0);
    r.rotate(yaw_, 0, 0, 1);
    return r;
}

QMatrix4x4 toolpath_camera::matrix() const
{
    float aspect = float(w_) / float(h_ > 0 ? h_ : 1);
    float half_h = height_mm_ / 2, half_w = half_h * aspect;
    QMatrix4x4 m;
    m.ortho(-half_w, half_w, -half_h, half_h, -depth_, depth_);
    m *= rotation();
    m.translate(-centre_);
    return m;
}

void toolpath_camera::fit(const path_bounds& b)
{
    if (b.empty) return;
    QVector3D lo(b.min[0], b.min[1], b.min[2]), hi(b.max[0], b.max[1], b.max[2]);
    centre_ = (lo + hi) / 2;
    // The box's corners as seen: the height and width they take on screen.
    QMatrix4x4 r = rotation();
    float w = 0, h = 0;
    for (int i = 0; i < 8; ++i) {
        QVector3D c((i & 1) ? hi.x() : lo.x(), (i & 2) ? hi.y() : lo.y(), (i & 4) ? hi.z() : lo.z());
        QVector3D p = r.map(c - centre_);
        w = std::max(w, std::abs(p.x()) * 2);
        h = std::max(h, std::abs(p.y()) * 2);
    }
    float aspect = float(w_) / float(h_ > 0 ? h_ : 1);
    height_mm_ = std::clamp(std::max(h, w / aspect) * fit_margin, min_height_mm, max_height_mm);
    depth_ = std::max(1.0f, (hi - lo).length() * 2);
}

void toolpath_camera::rotate(float dx, float dy)
{
    yaw_ = std::fmod(yaw_ + dx * degrees_per_pixel, 360.0f);
    pitch_ = std::clamp(pitch_ + dy * degrees_per_pixel, -180.0f, 0.0f);
}

void toolpath_camera::pan(float dx, float dy)
{
    // A screen-space move turned back into the path's coordinates.
    QVector3D screen(-dx * mm_per_pixel(), dy * mm_per_pixel(), 0);
    centre_ += rotation().inverted().mapVector(screen);
}

void toolpath_camera::zoom(float factor)
{
    if (factor > 0) height_mm_ = std::clamp(height_mm_ / factor, min_height_mm, max_height_mm);
}

void toolpath_camera::set_viewport(int width, int height)
{
    w_ = std::max(1, width);
    h_ = std::max(1, height);
}
