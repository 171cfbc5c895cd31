#include "pocket_program.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

// Lengths are whole micrometres, so that arc ends and centres written with
// three decimals describe exactly the same circle.
using um = long long;

constexpr um SAFE_Z = 5000;      // retract height
constexpr um CLEAR_Z = 1000;     // rapid down to this before plunging
constexpr um FIELD = 900000;     // pockets lie within +-900 mm, inside the travel

class program_writer {
public:
    program_writer(std::FILE* f, uint64_t body) : f_(f), left_(body) {}
    ~program_writer() { flush(); }

    bool full() const { return left_ == 0; }

    // Starts a line; words follow, end() closes it. Lines past the body's
    // length are dropped, so a pocket may stop anywhere.
    program_writer& start(const char* text)
    {
        open_ = left_ > 0;
        if (open_) buf_ += text;
        return *this;
    }
    program_writer& w(char letter, um value)
    {
        if (!open_) return *this;
        buf_ += ' ';
        buf_ += letter;
        if (value < 0) buf_ += '-', value = -value;
        char digits[32];
        std::snprintf(digits, sizeof digits, "%lld.%03lld", value / 1000, value % 1000);
        buf_ += digits;
        return *this;
    }
    program_writer& feed(int f)
    {
        if (open_) buf_ += " F" + std::to_string(f);
        return *this;
    }
    void end()
    {
        if (!open_) return;
        buf_ += '\n';
        --left_;
        open_ = false;
        if (buf_.size() > (1u << 20)) flush();
    }
    // A whole line without words.
    void line(const char* text) { start(text).end(); }
    // Written outside the body's count (header and tail).
    void extra(const char* text)
    {
        buf_ += text;
        buf_ += '\n';
    }
    void flush()
    {
        std::fwrite(buf_.data(), 1, buf_.size(), f_);
        buf_.clear();
    }

private:
    std::FILE* f_;
    uint64_t left_;
    bool open_ = false;
    std::string buf_;
};

struct rect {
    um x0, y0, x1, y1, r;  // corners and corner radius
};

// One lap around a rounded rectangle from (x0 + r, y0) back to it:
// counter-clockwise with G3 corners, or clockwise with G2 corners.
void contour(program_writer& p, const rect& b, bool ccw)
{
    const um r = b.r;
    if (ccw) {
        p.start("G1").w('X', b.x1 - r).w('Y', b.y0).end();
        p.start("G3").w('X', b.x1).w('Y', b.y0 + r).w('I', 0).w('J', r).end();
        p.start("G1").w('X', b.x1).w('Y', b.y1 - r).end();
        p.start("G3").w('X', b.x1 - r).w('Y', b.y1).w('I', -r).w('J', 0).end();
        p.start("G1").w('X', b.x0 + r).w('Y', b.y1).end();
        p.start("G3").w('X', b.x0).w('Y', b.y1 - r).w('I', 0).w('J', -r).end();
        p.start("G1").w('X', b.x0).w('Y', b.y0 + r).end();
        p.start("G3").w('X', b.x0 + r).w('Y', b.y0).w('I', r).w('J', 0).end();
    } else {
        p.start("G2").w('X', b.x0).w('Y', b.y0 + r).w('I', 0).w('J', r).end();
        p.start("G1").w('X', b.x0).w('Y', b.y1 - r).end();
        p.start("G2").w('X', b.x0 + r).w('Y', b.y1).w('I', r).w('J', 0).end();
        p.start("G1").w('X', b.x1 - r).w('Y', b.y1).end();
        p.start("G2").w('X', b.x1).w('Y', b.y1 - r).w('I', 0).w('J', -r).end();
        p.start("G1").w('X', b.x1).w('Y', b.y0 + r).end();
        p.start("G2").w('X', b.x1 - r).w('Y', b.y0).w('I', -r).w('J', 0).end();
        p.start("G1").w('X', b.x0 + r).w('Y', b.y0).end();
    }
}

// A level cleared by zigzag passes along X, a ramp down along the first
// pass, and a slower finishing contour.
void zigzag_level(program_writer& p, const rect& b, um z, um step, int cut, bool ccw)
{
    const um x0 = b.x0 + b.r, x1 = b.x1 - b.r;
    p.start("G0").w('X', x0).w('Y', b.y0 + b.r).end();
    p.start("G0").w('Z', CLEAR_Z).end();
    p.start("G1").w('X', (x0 + x1) / 2).w('Z', z).feed(cut / 3).end();  // ramp
    p.start("G1").w('X', x0).feed(cut).end();
    bool right = true;
    for (um y = b.y0 + b.r; y <= b.y1 - b.r; y += step) {
        if (y > b.y0 + b.r) p.start("G1").w('Y', y).end();
        p.start("G1").w('X', right ? x1 : x0).end();
        right = !right;
    }
    p.start("G1").w('X', b.x0 + b.r).w('Y', b.y0).feed(cut * 2 / 3).end();
    contour(p, b, ccw);
    p.start("G0").w('Z', SAFE_Z).end();
}

// A level cleared by contours growing from the middle, entered on a helical
// turn down to the level.
void concentric_level(program_writer& p, const rect& b, um z, um top, um step, int cut, bool ccw)
{
    const um cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2, helix = 2000;
    p.start("G0").w('X', cx - helix).w('Y', cy).end();
    p.start("G0").w('Z', top + CLEAR_Z).end();
    p.start("G1").w('Z', top).feed(cut / 4).end();
    p.start(ccw ? "G3" : "G2").w('X', cx - helix).w('Y', cy).w('Z', z).w('I', helix).w('J', 0).end();
    const um room = std::min(cx - b.x0, cy - b.y0) - b.r;
    const int laps = int(room / step) + 1;
    for (int k = laps - 1; k >= 0; --k) {
        rect lap{b.x0 + k * step, b.y0 + k * step, b.x1 - k * step, b.y1 - k * step, b.r};
        p.start("G1").w('X', lap.x0 + lap.r).w('Y', lap.y0).feed(k == 0 ? cut * 2 / 3 : cut).end();
        contour(p, lap, ccw);
    }
    p.start("G0").w('Z', SAFE_Z).end();
}

}  // namespace

bool write_pocket_program(const std::string& path, uint64_t lines)
{
    if (lines < 8) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    {
        program_writer p(f, lines - 7);
        p.extra("(pockets, generated)");
        p.extra("G21 G90 G17 G94");
        p.extra("G0 Z5.000");
        p.extra("M3 S12000");
        std::mt19937 rng(20240611);
        auto pick = [&](um lo, um hi) { return lo + um(rng() % uint32_t(hi - lo + 1)); };
        for (int n = 0; !p.full(); ++n) {
            const um w = pick(20000, 60000), h = pick(15000, 50000);
            const um x0 = pick(-FIELD, FIELD - w), y0 = pick(-FIELD, FIELD - h);
            const rect b{x0, y0, x0 + w, y0 + h, pick(2000, 4000)};
            const um depth = pick(2000, 8000), dz = pick(700, 1500), step = pick(1500, 3000);
            const int cut = int(pick(900, 2400));
            const bool ccw = rng() % 2, zigzag = n % 2 == 0;
            p.start("G0").w('Z', SAFE_Z).end();
            for (um z = -dz, top = 0; z > -depth - dz && !p.full(); top = z, z -= dz) {
                const um level = std::max(z, -depth);
                if (zigzag) zigzag_level(p, b, level, step, cut, ccw);
                else concentric_level(p, b, level, top, step, cut, ccw);
            }
        }
        p.extra("G0 Z5.000");
        p.extra("M5");
        p.extra("M30");
    }
    return std::fclose(f) == 0;
}
