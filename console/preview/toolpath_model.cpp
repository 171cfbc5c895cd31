#include "toolpath_model.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double coarse_pixels = 512;  // the coarse level is exact to a pixel of a view this wide...
constexpr size_t coarse_max = 20'000;  // ...or coarser, to stay this small: quick even for a software renderer
constexpr double budget_pixels = 4096; // the first tolerance when the budget is reached
constexpr float same_point = 1e-6f;

uint32_t tag_of(uint64_t line, path_kind k)
{
    return uint32_t(std::min<uint64_t>(line, path_vertex::max_line)) << 3 | uint32_t(k);
}

float dist(const path_vertex& a, const path_vertex& b)
{
    float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

path_kind kind_of(gcode::motion m)
{
    switch (m) {
    case gcode::motion::rapid: return path_kind::rapid;
    case gcode::motion::feed: return path_kind::feed;
    case gcode::motion::arc: return path_kind::arc;
    default: return path_kind::other;
    }
}

void path_bounds::add(float x, float y, float z)
{
    const float p[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        min[i] = empty ? p[i] : std::min(min[i], p[i]);
        max[i] = empty ? p[i] : std::max(max[i], p[i]);
    }
    empty = false;
}

float path_bounds::diagonal() const
{
    if (empty) return 0;
    float dx = max[0] - min[0], dy = max[1] - min[1], dz = max[2] - min[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void toolpath_model::add(const gcode::segment& s)
{
    if (gcode::is_pause(s.kind)) return;
    path_vertex end{float(s.end[0]), float(s.end[1]), float(s.end[2]), 0};
    path_vertex start{float(s.start[0]), float(s.start[1]), float(s.start[2]), 0};
    if (dist(start, end) <= same_point) return;  // rotary or unused axes only
    ++segments_in_;
    push(s, kind_of(s.kind));
}

void toolpath_model::push(const gcode::segment& s, path_kind k)
{
    path_vertex start{float(s.start[0]), float(s.start[1]), float(s.start[2]), tag_of(s.line, path_kind::gap)};
    path_vertex end{float(s.end[0]), float(s.end[1]), float(s.end[2]), tag_of(s.line, k)};
    if (v_.empty() || dist(v_.back(), start) > same_point) {
        v_.push_back(start);
        bounds_.add(start.x, start.y, start.z);
        run_ = 0;
    } else if (tol_ > 0 && v_.size() >= 2 && v_.back().kind() != path_kind::gap && run_ + s.length < tol_) {
        // Still shorter than the tolerance together: the run's end moves on.
        run_ += s.length;
        v_.back() = end;
        bounds_.add(end.x, end.y, end.z);
        return;
    }
    run_ = s.length;
    v_.push_back(end);
    bounds_.add(end.x, end.y, end.z);
    if (v_.size() >= budget_) shrink();
}

std::vector<path_vertex> toolpath_model::merged(const std::vector<path_vertex>& in, double tol)
{
    std::vector<path_vertex> out;
    out.reserve(in.size() / 2 + 16);
    double run = 0;
    for (const path_vertex& p : in) {
        if (out.size() >= 2 && p.kind() != path_kind::gap && out.back().kind() != path_kind::gap) {
            double len = dist(out.back(), p);
            if (run + len < tol) {
                run += len;
                out.back() = p;
                continue;
            }
            run = len;
        } else {
            run = out.empty() ? 0 : dist(out.back(), p);
        }
        out.push_back(p);
    }
    return out;
}

void toolpath_model::shrink()
{
    if (tol_ <= 0) tol_ = std::max<double>(bounds_.diagonal() / budget_pixels, 1e-6);
    for (;;) {
        std::vector<path_vertex> next = merged(v_, tol_);
        v_.swap(next);
        if (v_.size() < budget_ / 2) break;
        // Beyond pieces of a pixel or two of a view of the whole path the
        // picture would suffer: the budget gives way instead (and is not hit
        // again at every segment).
        if (tol_ > bounds_.diagonal() / 512) {
            budget_ = v_.size() * 2;
            break;
        }
        tol_ *= 2;
    }
    // The last piece may already be a merged run: later segments add to it.
    run_ = v_.size() >= 2 ? dist(v_[v_.size() - 2], v_.back()) : 0;
}

void toolpath_model::finish()
{
    v_.shrink_to_fit();
    coarse_.clear();
    double tol = std::max(bounds_.diagonal() / coarse_pixels, tol_ * 2);
    if (v_.size() > coarse_max / 4 && tol > 0) {
        std::vector<path_vertex> c = merged(v_, tol);
        // Jumps never merge: stop once a pass gains little.
        for (size_t before = v_.size(); c.size() > coarse_max && c.size() * 10 < before * 9;) {
            before = c.size();
            c = merged(c, tol *= 2);
        }
        if (c.size() * 10 < v_.size() * 6) coarse_.swap(c);  // worth it only when it saves 40 %
    }
    coarse_.shrink_to_fit();
}

size_t toolpath_model::executed_vertices(uint64_t line) const
{
    auto it = std::partition_point(v_.begin(), v_.end(), [&](const path_vertex& p) { return p.line() < line; });
    return size_t(it - v_.begin());
}

size_t toolpath_model::memory_bytes() const
{
    return (v_.capacity() + coarse_.capacity()) * sizeof(path_vertex);
}
