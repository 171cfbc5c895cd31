// Stored data: the parameter table and its two flash blocks, the user-data
// area (command 50) and the AR material changer (command 48, argument 17).
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "impl.h"

namespace bsim {

namespace {

void ar_log(board::impl& b, const std::string& line)
{
    auto& log = b.st.ar.log;
    log += line + "\r\n";
    // The unit keeps the tail that fits in one log answer.
    if (log.size() > 4000) log.erase(0, log.size() - 4000);
}

void ar_request(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    if (r.payload.size() < 8) return b.refuse("short AR request");
    auto& ar = b.st.ar;
    uint8_t op = r.payload[1];
    uint32_t param = get32(&r.payload[4]);
    auto busy = [&] {
        ar.busy_until = clock_type::now() + std::chrono::milliseconds(b.cfg.motion_ms * 3);
    };
    char text[96];
    switch (op) {
    case 0:
        if (param == 1) {
            ar.homed = true;
            ar.point = 0;
            busy();
            ar_log(b, "home");
        } else if (param == 3 || param == 4) {
            ar.cylinder_open = param == 3;
            ar_log(b, param == 3 ? "cylinder open" : "cylinder close");
        } else {
            return b.refuse("unknown AR command");
        }
        break;
    case 1: {
        unsigned from = param & 0xFF, to = (param >> 8) & 0xFF;
        if (!ar.homed) {
            ar_log(b, "change refused: not homed");
            return b.refuse("AR pad change before homing");
        }
        ar.point = to;
        busy();
        std::snprintf(text, sizeof text, "change pad %u -> %u", from, to);
        ar_log(b, text);
        break;
    }
    case 2:
    case 6:
        // The answer is the request with the parameter word filled in.
        out.assign(r.payload.begin(), r.payload.begin() + 8);
        put32(&out[4], op == 2 ? ar.point : b.st.id.drive_version);
        break;
    case 4:
        out.assign(r.payload.size(), 0);
        std::copy_n(r.payload.begin(), 4, out.begin());
        std::copy_n(ar.log.begin(), std::min(ar.log.size(), out.size() - 4), out.begin() + 4);
        break;
    default: return b.refuse("unknown AR operation");
    }
    if (op == 0 || op == 1) b.mark(D_SCALARS);
}

}  // namespace

void handle_store(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& s = b.st;
    if (r.cmd == 50) {
        if (r.type == T_READ) {
            read_area(s.user, r.arg, r.data_len, out);
        } else if (r.arg < s.user.size()) {
            size_t n = std::min<size_t>(r.payload.size(), s.user.size() - r.arg);
            std::copy_n(r.payload.begin(), n, s.user.begin() + r.arg);
            b.mark(D_USER);
        } else {
            b.refuse("user data beyond the area");
        }
        return;
    }
    switch (r.arg) {
    case 8: {
        // A write replaces the table; values past 512 do not fit.
        size_t n = std::min<size_t>(r.payload.size() / 4, PARAM_COUNT);
        s.params.resize(n);
        for (size_t i = 0; i < n; ++i) s.params[i] = getf(&r.payload[i * 4]);
        b.mark(D_PARAMS);
        break;
    }
    case 9: {
        size_t n = std::min<size_t>(s.params.size(), r.data_len / 4);
        out.resize(n * 4);
        for (size_t i = 0; i < n; ++i) putf(&out[i * 4], s.params[i]);
        break;
    }
    case 10:
    case 11: {
        if (r.payload.empty() || r.payload[0] > 1) return b.refuse("no such parameter block");
        auto& block = s.blocks[r.payload[0]];
        if (r.arg == 10) {
            block = s.params;
        } else {
            if (block.empty()) return b.refuse("parameter block is empty");
            s.params = block;
        }
        b.mark(D_PARAMS);
        break;
    }
    case 17: ar_request(b, r, out); break;
    default: break;
    }
}

}  // namespace bsim
