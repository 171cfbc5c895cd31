// Identity and the board's own peripherals: link probe, identifier, version,
// FRAM, keys, status LED, buzzer and the RGB strip.
#include <algorithm>
#include <cstdio>

#include "impl.h"

namespace bsim {

void read_area(const std::vector<uint8_t>& area, uint32_t off, uint32_t want, std::vector<uint8_t>& out)
{
    if (off >= area.size()) return;
    uint32_t n = std::min<uint32_t>(want, uint32_t(area.size() - off));
    out.assign(area.begin() + off, area.begin() + off + n);
}

namespace {

uint32_t version_word(const identity& id)
{
    return uint32_t(id.product) << 24 | uint32_t(id.variant) << 16 | uint32_t(id.fw_major) << 8 | id.fw_minor;
}

void refused(board::impl& b, const request& r, const char* why)
{
    ++b.cnt.refused;
    b.trace("   refused cmd " + std::to_string(r.cmd) + ": " + why);
}

// Command 23: byte 0 of arg is 1, byte 1 the selector, byte 2 the value count.
void rgb_strip(board::impl& b, const request& r)
{
    unsigned tag = r.arg & 0xFF, sel = (r.arg >> 8) & 0xFF, count = (r.arg >> 16) & 0xFF;
    if (tag != 1 || count == 0 || r.payload.size() < count * 2u) return refused(b, r, "malformed strip request");
    auto value = [&](unsigned i) { return get16(&r.payload[i * 2]); };
    auto& p = b.st.per;
    if (sel == 0) {
        p.rgb_progress = std::min<uint16_t>(value(0), 100);
    } else if (sel == 1) {
        p.rgb_fh = value(0);
    } else if (sel == 2) {
        p.rgb_bh = value(0);
    } else {
        unsigned first = sel - 3;
        if (first + count > p.strip.size()) return refused(b, r, "LED beyond the strip");
        for (unsigned i = 0; i < count; ++i) p.strip[first + i] = value(i);
    }
    b.mark(D_SCALARS);
}

}  // namespace

void handle_board(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& s = b.st;
    switch (r.cmd) {
    case 0: return;  // link probe: an empty reply
    case 2: out.assign(s.id.board_id.begin(), s.id.board_id.end()); break;
    case 3:
        out.resize(4);
        put32(out.data(), version_word(s.id));
        break;
    case 16:
        if (r.type == T_READ) {
            read_area(s.fram, r.arg, r.data_len, out);
        } else if (r.arg < s.fram.size()) {
            // A write past the end of the FRAM keeps what fits.
            size_t n = std::min<size_t>(r.payload.size(), s.fram.size() - r.arg);
            std::copy_n(r.payload.begin(), n, s.fram.begin() + r.arg);
            b.mark(D_FRAM);
        } else {
            refused(b, r, "FRAM address out of range");
        }
        break;
    case 17:
        if (r.arg > 2 || r.payload.empty()) return refused(b, r, "no such LED channel");
        s.per.status_led[r.arg] = std::min<uint8_t>(r.payload[0], 100);
        b.mark(D_SCALARS);
        break;
    case 18:
        // One command, two settings told apart by the transfer type.
        if (r.type == T_WRITE && r.payload.size() >= 1) {
            s.per.buzzer_duty = r.payload[0];
        } else if (r.payload.size() >= 4) {
            s.per.buzzer_period = get32(r.payload.data());
        } else {
            return refused(b, r, "malformed buzzer setting");
        }
        b.mark(D_SCALARS);
        break;
    case 19:
        // A key that does not exist has no state to report.
        if (r.arg < KEY_COUNT && r.data_len >= 1) out.push_back(s.keys[r.arg]);
        break;
    case 23: rgb_strip(b, r); break;
    default: break;
    }
}

// Machine outputs that command 48 carries besides the machine itself.
void handle_outputs(board::impl& b, const request& r)
{
    auto& p = b.st.per;
    switch (r.arg) {
    case 12:
        if (r.payload.size() < 2 || r.payload[1] > 1) return refused(b, r, "malformed tool switch");
        p.tool_switch[r.payload[1]] = r.payload[0] ? 1 : 0;
        break;
    case 13:
        ++p.calibrations;
        b.log_event("calibration");
        break;
    case 15:
        if (r.payload.empty()) return refused(b, r, "malformed dust switch");
        p.dust = r.payload[0] ? 1 : 0;
        break;
    case 18: {
        if (r.payload.size() < 6) return refused(b, r, "malformed LED state");
        unsigned index = r.payload[0];
        if (index >= p.led_state.size()) return refused(b, r, "no such LED state index");
        p.led_state[index] = r.payload[1];
        p.led_value[index] = get32(&r.payload[2]);
        break;
    }
    default: return;
    }
    b.mark(D_SCALARS);
}

}  // namespace bsim
