// Routes a request to its command family. Unknown commands get an empty
// reply, as the board answers every frame.
#include "impl.h"

namespace bsim {

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
    // A reply never carries more than the host asked for or sent.
    if (r.type != T_WRITE && out.size() > r.data_len) out.resize(r.data_len);
    if (out.size() > MAX_PAYLOAD) out.resize(MAX_PAYLOAD);
}

}  // namespace bsim
