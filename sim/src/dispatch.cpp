// Routes a request to its command family. Unknown commands get an empty
// reply, as the board answers every frame.
#include <cstdio>

#include "impl.h"

namespace bsim {

namespace {

// One line of the outputs a technician watches, after a command changed them.
void trace_outputs(board::impl& b)
{
    const auto& p = b.st.per;
    char line[200];
    std::snprintf(line, sizeof line,
                  "   outputs: led r%u g%u b%u, buzzer duty %u period %u, strip progress %u fh %u bh %u, "
                  "tool %u/%u, dust %u",
                  p.status_led[0], p.status_led[1], p.status_led[2], p.buzzer_duty, p.buzzer_period, p.rgb_progress,
                  p.rgb_fh, p.rgb_bh, p.tool_switch[0], p.tool_switch[1], p.dust);
    b.trace(line);
}

bool changes_outputs(const request& r)
{
    if (r.cmd == 17 || r.cmd == 18 || r.cmd == 23) return true;
    return r.cmd == 48 && (r.arg == 12 || r.arg == 15 || r.arg == 18);
}

}  // namespace

void dispatch(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    switch (r.cmd) {
    case 0: case 2: case 3: case 16: case 17: case 18: case 19: case 23:
        handle_board(b, r, out);
        break;
    case 9:
        if (r.type == T_WRITE || r.arg == 1 || r.arg == 2)
            handle_flash(b, r, out);
        else if (r.arg >= 4 && r.arg <= 8)
            handle_update(b, r, out);
        else
            ++b.cnt.refused;
        break;
    case 32: case 33: handle_flash(b, r, out); break;
    case 20: case 21: handle_sdcard(b, r, out); break;
    case 48: case 49: handle_machine(b, r, out); break;
    case 50: handle_store(b, r, out); break;
    default:
        ++b.cnt.refused;
        b.trace("   unknown command " + std::to_string(r.cmd));
        break;
    }
    if (changes_outputs(r)) trace_outputs(b);
    // A reply never carries more than the host asked for or sent.
    if (r.type != T_WRITE && out.size() > r.data_len) out.resize(r.data_len);
    if (out.size() > MAX_PAYLOAD) out.resize(MAX_PAYLOAD);
}

}  // namespace bsim
