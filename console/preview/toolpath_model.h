// The toolpath as the preview draws it: one strip of vertices in machine
// coordinates, each closing the segment from the vertex before it, tagged
// with that segment's kind and program line. Pure data without OpenGL, so
// its extents, executed part and simplification can be checked anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gcode/segment.h"

// What the segment ending at a vertex is; gap ends a jump that is not drawn
// (the first vertex, or a path that does not continue where it stopped).
enum class path_kind : uint8_t { gap = 0, rapid = 1, feed = 2, arc = 3, other = 4, marker = 5 };

struct path_vertex {
    float x = 0, y = 0, z = 0;
    uint32_t tag = 0;  // line << 3 | kind: 16 bytes a vertex, as the vertex buffer takes it

    static constexpr uint32_t max_line = (1u << 29) - 1;
    path_kind kind() const { return path_kind(tag & 7u); }
    uint32_t line() const { return tag >> 3; }
};

struct path_bounds {
    float min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
    bool empty = true;
    void add(float x, float y, float z);
    float diagonal() const;
};

class toolpath_model {
public:
    // Above budget vertices the strip is simplified: runs of segments
    // shorter than a tolerance together become one segment (coloured as its
    // last piece), and the tolerance doubles until the strip is back under
    // half the budget, or pieces reach about two pixels of a view of the
    // whole path: then the budget grows instead.
    explicit toolpath_model(size_t budget = default_budget) : budget_(budget < 16 ? 16 : budget) {}
    static constexpr size_t default_budget = 2'000'000;

    // One planned segment; pauses and moves that go nowhere are left out.
    void add(const gcode::segment& s);
    // After the last segment: the coarse level drawn while the view moves.
    void finish();

    const std::vector<path_vertex>& vertices() const { return v_; }
    // The level drawn while the view is rotated or moved: the strip merged
    // at about a pixel of a 512-pixel view and to at most 20,000 vertices,
    // or empty when that saves little.
    const std::vector<path_vertex>& coarse() const { return coarse_; }
    const path_bounds& bounds() const { return bounds_; }
    uint64_t segments_in() const { return segments_in_; }  // drawable segments handed in
    // Distance below which runs were merged; 0 while everything is kept.
    double tolerance() const { return tol_; }
    bool simplified() const { return tol_ > 0; }
    // Vertices whose segment belongs to a line before line: the strip's
    // executed part while the board works on line.
    size_t executed_vertices(uint64_t line) const;
    size_t memory_bytes() const;

    // The strip of in merged at tolerance tol (exposed for tests).
    static std::vector<path_vertex> merged(const std::vector<path_vertex>& in, double tol);

private:
    void push(const gcode::segment& s, path_kind k);
    void shrink();

    size_t budget_;
    std::vector<path_vertex> v_, coarse_;
    path_bounds bounds_;
    uint64_t segments_in_ = 0;
    double tol_ = 0;
    double run_ = 0;  // length of the run merged into the last vertex
};

path_kind kind_of(gcode::motion m);
