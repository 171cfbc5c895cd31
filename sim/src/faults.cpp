// Fault injection on the reply path.
#include "faults.h"

#include <algorithm>

namespace bsim {

namespace {

bool targets(const faults& f, const request& r) { return f.only_cmd < 0 || f.only_cmd == r.cmd; }

// Takes the first armed shot that matches this frame, counting down the
// skips of those that match but are not yet due.
bool take_shot(board::impl& b, const request& r, one_shot& out)
{
    for (auto it = b.shots.begin(); it != b.shots.end(); ++it) {
        if (it->cmd >= 0 && it->cmd != r.cmd) continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        out = *it;
        b.shots.erase(it);
        return true;
    }
    return false;
}

void corrupt(send_plan& p, fault_kind k, uint32_t oversized)
{
    auto& v = p.bytes;
    switch (k) {
    case fault_kind::bad_magic: put16(&v[0], 0x5AA6); p.note += " bad-magic"; break;
    case fault_kind::bad_cmd: put16(&v[2], uint16_t(get16(&v[2]) ^ 0x80)); p.note += " bad-cmd"; break;
    case fault_kind::bad_arg: put32(&v[8], get32(&v[8]) ^ 0x80000000u); p.note += " bad-arg"; break;
    case fault_kind::len_ffff:
        v.resize(HEAD);
        put16(&v[6], LEN_NONE);
        p.note += " reply_len-ffff";
        break;
    case fault_kind::oversized: {
        uint32_t n = std::clamp<uint32_t>(oversized ? oversized : MAX_PAYLOAD + 1, MAX_PAYLOAD + 1, 0xFFFE);
        v.resize(HEAD + n, 0xEE);
        put16(&v[6], uint16_t(n));
        put32(&v[28], n);
        p.note += " oversized-" + std::to_string(n);
        break;
    }
    case fault_kind::garbage:
        // Bytes that are no frame at all: no magic, nothing that matches.
        // The length field reads 0, so a host that believes it waits for no
        // body and sees the garbage at once.
        for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(0x47 + i * 13);
        v[6] = v[7] = 0;
        p.note += " garbage";
        break;
    case fault_kind::byte_by_byte: p.one_byte_at_a_time = true; p.note += " byte-by-byte"; break;
    case fault_kind::close_mid_reply: p.cut_at = v.size() / 2; p.note += " cut-in-half"; break;
    case fault_kind::close_now: p.close_before = true; p.note += " close"; break;
    case fault_kind::mute: p.silent = true; p.note += " mute"; break;
    case fault_kind::late: break;
    }
}

}  // namespace

void plan_reply(board::impl& b, const request& r, const std::vector<uint8_t>& payload, uint64_t frame_no,
                send_plan& p)
{
    const faults& f = b.flt;
    std::vector<uint8_t> bytes = std::move(p.bytes);
    p = send_plan{};
    p.bytes = std::move(bytes);
    encode_reply(r, payload, p.bytes);
    p.delay_ms = f.delay_ms;

    if (std::find(f.mute_cmds.begin(), f.mute_cmds.end(), int(r.cmd)) != f.mute_cmds.end()) {
        p.silent = true;
        p.note = " mute";
        return;
    }
    if (targets(f, r)) {
        if (f.bad_magic) corrupt(p, fault_kind::bad_magic, 0);
        if (f.bad_cmd) corrupt(p, fault_kind::bad_cmd, 0);
        if (f.bad_arg) corrupt(p, fault_kind::bad_arg, 0);
        if (f.len_ffff) corrupt(p, fault_kind::len_ffff, 0);
        if (f.oversized) corrupt(p, fault_kind::oversized, f.oversized);
        if (f.byte_by_byte) corrupt(p, fault_kind::byte_by_byte, 0);
    }
    if (f.close_mid_reply_at > 0 && frame_no == uint64_t(f.close_mid_reply_at))
        corrupt(p, fault_kind::close_mid_reply, 0);
    if (f.close_after_frames >= 0 && frame_no >= uint64_t(f.close_after_frames)) p.close_after = true;

    // The link probe's only real argument is 0; other values are requests
    // to misbehave for this one answer.
    if (r.cmd == 0 && r.arg != 0 && f.reserved_args) {
        if ((r.arg & 0xFFFF0000u) == PROBE_LATE_BASE) {
            p.delay_ms += int(r.arg & 0xFFFF);
            p.note += " late";
        } else if (r.arg == PROBE_BYTE_BY_BYTE) {
            corrupt(p, fault_kind::byte_by_byte, 0);
        } else if (r.arg == PROBE_GARBAGE) {
            corrupt(p, fault_kind::garbage, 0);
        }
    }
    one_shot shot{};
    if (take_shot(b, r, shot)) {
        if (shot.kind == fault_kind::late) {
            p.delay_ms += shot.delay_ms;
            p.note += " late";
        } else {
            corrupt(p, shot.kind, uint32_t(shot.delay_ms));
        }
    }
}

const std::vector<uint8_t>& stored_data(const board::impl& b, const request& r, std::vector<uint8_t>& scratch)
{
    if (!b.flt.corrupt_writes || r.arg != 0 || r.payload.empty()) return r.payload;
    scratch = r.payload;
    scratch[0] = uint8_t(~scratch[0]);
    return scratch;
}

std::vector<uint8_t> unsolicited_frame()
{
    request r;
    r.cmd = 0xEE;
    r.type = T_READ;
    r.arg = 0xEEEEEEEE;
    std::vector<uint8_t> out;
    encode_reply(r, std::vector<uint8_t>(4, 0xEE), out);
    return out;
}

}  // namespace bsim
