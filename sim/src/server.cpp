// The command channel: one TCP connection at a time on port 9494 (a new
// connection replaces the current one, as a board whose host vanished must
// still be reachable), frames read and resynchronised on the magic, one
// reply per frame sent through the fault plan.
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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

struct connection {
    int fd = -1;
    std::vector<uint8_t> buf;
    uint64_t frames = 0;
    time_point since{};
    bool unsolicited_sent = false;
};

void hang_up(board::impl& b, connection& c, const char* why)
{
    if (c.fd < 0) return;
    {
        std::lock_guard<std::mutex> g(b.lock);
        b.trace(std::string("-- connection closed: ") + why);
    }
    close_fd(c.fd);
    c.buf.clear();
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
    auto& v = c.buf;
    size_t start = 0;
    while (start + 1 < v.size() && !(v[start] == 0xA5 && v[start + 1] == 0x5A)) ++start;
    if (start > 0) {
        std::lock_guard<std::mutex> g(b.lock);
        ++b.cnt.bad_frames;
        b.trace("<- skipped " + std::to_string(start) + " bytes without a frame magic");
        v.erase(v.begin(), v.begin() + long(start));
    }
    if (v.size() < size_t(HEAD)) return 0;
    decode_head(v.data(), r);
    uint32_t body = r.wire_payload();
    if (body > MAX_PAYLOAD) {
        std::lock_guard<std::mutex> g(b.lock);
        ++b.cnt.bad_frames;
        b.trace("<- " + describe(r) + ": payload too long");
        return -1;
    }
    if (v.size() < HEAD + body) return 0;
    r.payload.assign(v.begin() + HEAD, v.begin() + HEAD + body);
    v.erase(v.begin(), v.begin() + HEAD + body);
    return 1;
}

bool answer(board::impl& b, connection& c, const request& r)
{
    send_plan plan;
    {
        std::lock_guard<std::mutex> g(b.lock);
        ++c.frames;
        ++b.cnt.frames_received;
        b.trace("<- #" + std::to_string(c.frames) + " " + describe(r) +
                (r.payload.empty() ? "" : " [" + hex_prefix(r.payload, 16) + "]"));
        std::vector<uint8_t> out;
        if (!crc_ok(r)) {
            // A damaged payload is not carried out; the empty answer still
            // keeps the host's request and reply in step.
            ++b.cnt.bad_frames;
            b.trace("   payload checksum wrong, not executed");
        } else {
            dispatch(b, r, out);
        }
        plan = plan_reply(b, r, out, c.frames);
        if (!plan.silent && !plan.close_before) ++b.cnt.replies_sent;
        char head[64];
        std::snprintf(head, sizeof head, "-> #%llu cmd=%u arg=0x%x", (unsigned long long)c.frames, r.cmd, r.arg);
        b.trace(head + std::string(" reply_len=") + std::to_string(out.size()) +
                (out.empty() ? "" : " [" + hex_prefix(out, 16) + "]") + plan.note);
    }
    return transmit(b, c, plan);
}

}  // namespace

void serve_tcp(board::impl& b)
{
    connection c;
    uint8_t chunk[16384];
    while (b.run) {
        if (b.drop.exchange(false)) hang_up(b, c, "dropped");
        pollfd fds[2] = {{b.listen_fd, POLLIN, 0}, {c.fd, POLLIN, 0}};
        int n = ::poll(fds, c.fd >= 0 ? 2 : 1, 20);
        if (n < 0) continue;
        if (fds[0].revents & POLLIN) {
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            int fd = ::accept4(b.listen_fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
            if (fd >= 0) {
                if (c.fd >= 0) hang_up(b, c, "replaced by a new connection");
                int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                c = connection{};
                c.fd = fd;
                c.since = clock_type::now();
                std::lock_guard<std::mutex> g(b.lock);
                ++b.cnt.connections;
                b.trace("-- connection from " + addr_text(peer));
            }
        }
        if (c.fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t got = ::recv(c.fd, chunk, sizeof chunk, 0);
            if (got <= 0) {
                hang_up(b, c, got == 0 ? "host closed" : "receive failed");
                continue;
            }
            c.buf.insert(c.buf.end(), chunk, chunk + got);
            request r;
            int t;
            while (c.fd >= 0 && (t = take_frame(b, c, r)) != 0) {
                if (t < 0) {
                    hang_up(b, c, "frame too long");
                    break;
                }
                if (!answer(b, c, r)) break;
            }
        }
        if (c.fd >= 0 && !c.unsolicited_sent) {
            int after = -1;
            {
                std::lock_guard<std::mutex> g(b.lock);
                after = b.flt.unsolicited_after_ms;
            }
            if (after >= 0 && clock_type::now() - c.since >= std::chrono::milliseconds(after)) {
                c.unsolicited_sent = true;
                auto frame = unsolicited_frame();
                {
                    std::lock_guard<std::mutex> g(b.lock);
                    b.trace("-> unsolicited frame cmd=238");
                }
                if (!send_all(c.fd, frame.data(), frame.size())) hang_up(b, c, "send failed");
            }
        }
    }
    close_fd(c.fd);
}

}  // namespace bsim
