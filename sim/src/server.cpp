// The command channel: one TCP connection at a time on port 9494 (a new
// connection replaces the current one, as a board whose host vanished must
// still be reachable), frames read and resynchronised on the magic, one
// reply per frame sent through the fault plan.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "faults.h"
#include "server.h"
#include "sockets.h"

namespace bsim {

namespace {

void pause_ms(board::impl& b, int ms)
{
    auto end = clock_type::now() + std::chrono::milliseconds(ms);
    while (b.run && clock_type::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Room for the bytes of several frames; what is left of a partial frame is
// moved to the front when the free tail runs short.
constexpr size_t RECV_BUFFER = 64 * 1024;

struct connection {
    sock_t fd = no_socket;
    // Received bytes not yet taken are buf[head, tail).
    std::vector<uint8_t> buf = std::vector<uint8_t>(RECV_BUFFER);
    size_t head = 0, tail = 0;
    uint64_t frames = 0;
    time_point since{};
    bool unsolicited_sent = false;
    // Kept across frames so that their storage is reused.
    request req;
    std::vector<uint8_t> reply;
    send_plan plan;

    // Starts a fresh connection on fd, keeping the buffers.
    void reset(sock_t new_fd)
    {
        fd = new_fd;
        head = tail = 0;
        frames = 0;
        since = clock_type::now();
        unsolicited_sent = false;
    }
};

void hang_up(board::impl& b, connection& c, const char* why)
{
    if (c.fd == no_socket) return;
    {
        std::lock_guard<std::mutex> g(b.lock);
        b.trace(std::string("-- connection closed: ") + why);
        sd_close_file(b);
    }
    close_fd(c.fd);
    c.head = c.tail = 0;
}

// Carries out a send plan; false when the connection is gone afterwards.
bool transmit(board::impl& b, connection& c, const send_plan& p)
{
    if (p.delay_ms > 0) pause_ms(b, p.delay_ms);
    if (p.close_before) {
        hang_up(b, c, "fault: closed instead of answering");
        return false;
    }
    if (p.silent) return true;
    size_t n = std::min(p.cut_at, p.bytes.size());
    bool ok = true;
    if (p.one_byte_at_a_time) {
        for (size_t i = 0; i < n && ok; ++i) {
            ok = send_all(c.fd, &p.bytes[i], 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } else {
        ok = send_all(c.fd, p.bytes.data(), n);
    }
    if (!ok) {
        hang_up(b, c, "send failed");
        return false;
    }
    if (n < p.bytes.size()) {
        hang_up(b, c, "fault: cut in the middle of a reply");
        return false;
    }
    if (p.close_after) {
        // Let the last reply be taken before the hang-up follows it.
        pause_ms(b, 20);
        hang_up(b, c, "fault: close after frame count");
        return false;
    }
    return true;
}

// Takes one complete frame off the front of the buffer. Bytes before a
// magic are skipped; a frame announcing more than a frame can hold ends the
// connection (returns -1). 0: need more bytes.
int take_frame(board::impl& b, connection& c, request& r)
{
    const uint8_t* v = c.buf.data();
    size_t start = c.head;
    while (start + 1 < c.tail && !(v[start] == 0xA5 && v[start + 1] == 0x5A)) ++start;
    if (start > c.head) {
        std::lock_guard<std::mutex> g(b.lock);
        ++b.cnt.bad_frames;
        b.trace("<- skipped " + std::to_string(start - c.head) + " bytes without a frame magic");
        c.head = start;
    }
    if (c.tail - c.head < size_t(HEAD)) return 0;
    decode_head(v + c.head, r);
    uint32_t body = r.wire_payload();
    if (body > MAX_PAYLOAD) {
        std::lock_guard<std::mutex> g(b.lock);
        ++b.cnt.bad_frames;
        b.trace("<- " + describe(r) + ": payload too long");
        return -1;
    }
    if (c.tail - c.head < HEAD + body) return 0;
    r.payload.assign(v + c.head + HEAD, v + c.head + HEAD + body);
    c.head += HEAD + body;
    if (c.head == c.tail) c.head = c.tail = 0;
    return 1;
}

// Makes room after the buffered bytes for the next receive.
void make_room(connection& c)
{
    if (c.buf.size() - c.tail >= c.buf.size() / 2) return;
    std::memmove(c.buf.data(), c.buf.data() + c.head, c.tail - c.head);
    c.tail -= c.head;
    c.head = 0;
}

bool answer(board::impl& b, connection& c, const request& r)
{
    ++c.frames;
    plan_answer(b, r, c.frames, c.reply, c.plan);
    return transmit(b, c, c.plan);
}

}  // namespace

void plan_answer(board::impl& b, const request& r, uint64_t frame_no, std::vector<uint8_t>& out, send_plan& plan)
{
    out.clear();
    std::lock_guard<std::mutex> g(b.lock);
    ++b.cnt.frames_received;
    // The frame lines are the bulk of the trace: formatted only when
    // someone reads them.
    bool tracing = b.tracing();
    if (tracing)
        b.trace("<- #" + std::to_string(frame_no) + " " + describe(r) +
                (r.payload.empty() ? "" : " [" + hex_prefix(r.payload, 16) + "]"));
    if (!crc_ok(r)) {
        // A damaged payload is not carried out; the empty answer still
        // keeps the host's request and reply in step.
        ++b.cnt.bad_frames;
        b.trace("   payload checksum wrong, not executed");
    } else {
        b.answer_failure = false;
        dispatch(b, r, out);
    }
    plan_reply(b, r, out, frame_no, plan);
    if (b.answer_failure && !plan.silent && !plan.close_before && plan.bytes.size() >= size_t(HEAD)) {
        b.answer_failure = false;
        plan.bytes.resize(HEAD);
        put16(&plan.bytes[6], LEN_NONE);
        plan.note += " failure";
    }
    if (!plan.silent && !plan.close_before) ++b.cnt.replies_sent;
    if (tracing) {
        char head[64];
        std::snprintf(head, sizeof head, "-> #%llu cmd=%u arg=0x%x", (unsigned long long)frame_no, r.cmd, r.arg);
        b.trace(head + std::string(" reply_len=") + std::to_string(out.size()) +
                (out.empty() ? "" : " [" + hex_prefix(out, 16) + "]") + plan.note);
    }
}

void serve_tcp(board::impl& b)
{
    connection c;
    while (b.run) {
        if (b.drop.exchange(false)) hang_up(b, c, "dropped");
        // Waits up to 20 ms for a new connection or for the host's bytes
        // (a hang-up or an error counts as bytes: the read tells which).
        bool listen_ready = false, conn_ready = false;
        if (c.fd != no_socket) {
            listen_ready = vplat::wait_readable(b.listen_fd, 0) > 0;
            conn_ready = vplat::wait_readable(c.fd, listen_ready ? 0 : 20) > 0;
        } else {
            listen_ready = vplat::wait_readable(b.listen_fd, 20) > 0;
        }
        if (listen_ready) {
            vesk_addr peer{};
            sock_t fd = vplat::accept_socket(b.listen_fd, &peer);
            if (fd != no_socket) {
                if (c.fd != no_socket) hang_up(b, c, "replaced by a new connection");
                vplat::set_nodelay(fd, true);
                c.reset(fd);
                conn_ready = false;
                std::lock_guard<std::mutex> g(b.lock);
                ++b.cnt.connections;
                b.trace("-- connection from " + addr_text(peer));
            }
        }
        if (c.fd != no_socket && conn_ready) {
            make_room(c);
            long got = vplat::recv_bytes(c.fd, c.buf.data() + c.tail, c.buf.size() - c.tail);
            if (got <= 0) {
                hang_up(b, c, got == 0 ? "host closed" : "receive failed");
                continue;
            }
            c.tail += size_t(got);
            int t;
            while (c.fd != no_socket && (t = take_frame(b, c, c.req)) != 0) {
                if (t < 0) {
                    hang_up(b, c, "frame too long");
                    break;
                }
                if (!answer(b, c, c.req)) break;
            }
        }
        if (c.fd != no_socket && !c.unsolicited_sent) {
            int after = -1;
            {
                std::lock_guard<std::mutex> g(b.lock);
                after = b.flt.unsolicited_after_ms;
            }
            if (after >= 0 && clock_type::now() - c.since >= std::chrono::milliseconds(after)) {
                c.unsolicited_sent = true;
                auto frame = unsolicited_frame();
                // Traced once sent: a test that sees the line knows the frame is on the link.
                if (!send_all(c.fd, frame.data(), frame.size())) {
                    hang_up(b, c, "send failed");
                } else {
                    std::lock_guard<std::mutex> g(b.lock);
                    b.trace("-> unsolicited frame cmd=238");
                }
            }
        }
    }
    close_fd(c.fd);
}

}  // namespace bsim
