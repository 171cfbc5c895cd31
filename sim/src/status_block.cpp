// The 272-byte machine status block answered to command 48, argument 5.
#include <algorithm>

#include "impl.h"

namespace bsim {

// status_word bits: 0 card present, 1 a job is loaded, 2 alarm, 3 resume
// pending, 4 machine homed. aux byte bits: 0 AR cylinder open, 1 AR homed,
// 2 and 3 the tool switch outputs.
std::vector<uint8_t> build_status(const board::impl& b)
{
    const auto& s = b.st;
    const auto& m = s.m;
    const auto& j = m.job;
    std::vector<uint8_t> o(272, 0);
    uint32_t word = 1;
    if (!j.name.empty()) word |= 2;
    if (m.alarm) word |= 4;
    if (j.resume_pending) word |= 8;
    if (m.homed) word |= 16;
    put32(&o[0], word);
    put32(&o[4], j.parse_line);
    put32(&o[12], j.run_line);
    for (int i = 0; i < 4; ++i) put32(&o[20 + 4 * i], m.spindle[i]);
    for (int i = 0; i < 4; ++i) o[36 + i] = m.coolant[i];
    o[40] = m.tools[0];
    o[41] = m.tools[1];
    put32(&o[44], run_state_of(b));
    for (int i = 0; i < 9; ++i) {
        putf(&o[48 + 4 * i], m.mpos[i] - m.offset[i]);
        putf(&o[84 + 4 * i], m.mpos[i]);
    }
    size_t n = std::min<size_t>(j.name.size(), 128);
    std::copy_n(j.name.begin(), n, o.begin() + 120);
    put16(&o[248], uint16_t(n));
    put16(&o[250], m.alarm);
    o[252] = uint8_t((s.ar.cylinder_open ? 1 : 0) | (s.ar.homed ? 2 : 0) | (s.per.tool_switch[0] ? 4 : 0) |
                     (s.per.tool_switch[1] ? 8 : 0));
    put32(&o[256], j.download_bytes);
    o[260] = j.resume_pending ? 1 : 0;
    put16(&o[264], m.limits);
    o[268] = s.door;
    o[269] = s.air;
    o[270] = s.per.dust;
    o[271] = s.drawer;
    for (const auto& [off, bytes] : b.status_overrides)
        for (size_t i = 0; i < bytes.size() && off + i < o.size(); ++i) o[off + i] = bytes[i];
    return o;
}

}  // namespace bsim
