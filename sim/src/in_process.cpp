// In-process hosts: the same frames as the command channel, handed over
// without sockets. Each answer goes through the same fault plan; what a
// socket would do with it (a pause, a hang-up) is done here by the caller's
// thread.
#include <chrono>
#include <thread>

#include "faults.h"
#include "server.h"
#include "wire.h"

namespace bsim {

namespace {

void end_connection(board::impl& b, const char* why)
{
    b.in_process_current = 0;
    std::lock_guard<std::mutex> g(b.lock);
    b.trace(std::string("-- in-process connection closed: ") + why);
    sd_close_file(b);
}

}  // namespace

uint64_t board::open_in_process()
{
    auto& b = *p;
    std::lock_guard<std::mutex> g(b.in_process_lock);
    if (b.in_process_current) end_connection(b, "replaced by a new connection");
    b.drop = false;
    b.in_process_current = b.in_process_next++;
    b.in_process_frames = 0;
    std::lock_guard<std::mutex> l(b.lock);
    ++b.cnt.connections;
    b.trace("-- in-process connection " + std::to_string(b.in_process_current));
    return b.in_process_current;
}

void board::close_in_process(uint64_t connection)
{
    auto& b = *p;
    std::lock_guard<std::mutex> g(b.in_process_lock);
    if (connection && b.in_process_current == connection) end_connection(b, "host closed");
}

board::answer_kind board::answer_in_process(uint64_t connection, const uint8_t* frame, size_t len, std::vector<uint8_t>& reply)
{
    auto& b = *p;
    reply.clear();
    // One frame at a time per board, as one TCP connection carries them.
    std::lock_guard<std::mutex> g(b.in_process_lock);
    if (!b.run || connection == 0 || b.in_process_current != connection) return answer_kind::closed;
    if (b.drop.exchange(false)) {
        end_connection(b, "dropped");
        return answer_kind::closed;
    }
    if (len < size_t(HEAD)) return answer_kind::replied;
    request r;
    decode_head(frame, r);
    uint32_t body = r.wire_payload();
    if (body > MAX_PAYLOAD || len < HEAD + body) {
        end_connection(b, "frame too long");
        return answer_kind::closed;
    }
    r.payload.assign(frame + HEAD, frame + HEAD + body);
    std::vector<uint8_t> payload;
    send_plan plan;
    plan_answer(b, r, ++b.in_process_frames, payload, plan);
    if (plan.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(plan.delay_ms));
    if (plan.close_before) {
        end_connection(b, "fault: closed instead of answering");
        return answer_kind::closed;
    }
    if (plan.silent) return answer_kind::replied;
    if (plan.cut_at < plan.bytes.size()) {
        end_connection(b, "fault: cut in the middle of a reply");
        return answer_kind::closed;
    }
    reply = plan.bytes;
    if (!plan.close_after) return answer_kind::replied;
    end_connection(b, "fault: close after frame count");
    return answer_kind::replied_then_closed;
}

}  // namespace bsim
