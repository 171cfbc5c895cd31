// The link object: open, close, the receive thread and the liveness probe.
#include <atomic>
#include <cstring>
#include <utility>

#include "connection.h"
#include "tuning.h"
#include "vesk.h"
#include "vesk_platform.h"

namespace {

// The link object whose receive thread is running on this thread, if any.
thread_local const vesk* receive_thread_owner = nullptr;

constexpr const char* default_board_address = "192.168.8.123";

}  // namespace

vesk::vesk() : threads(std::make_shared<vesk_thread_count>())
{
    vplat::net_startup();
}

vesk::~vesk()
{
    eth_device_close();
    // Receive threads of earlier connections may still be finishing; they
    // must not outlive the object they report to. A destructor that runs on
    // one of them (a callback ending the process) does not wait for itself,
    // and one that runs while the process ends does not wait at all: the
    // other threads may have been stopped already and would never report.
    if (vplat::process_ending()) return;
    std::unique_lock<std::mutex> g(threads->m);
    int self = receive_thread_owner == this ? 1 : 0;
    threads->cv.wait(g, [&] { return threads->live <= self; });
    g.unlock();
    vplat::net_cleanup();
}

int vesk::vesk_start_tcp_connect(const vesk_addr& addr, intptr_t* sock_out)
{
    vplat::socket_t s = vplat::tcp_socket();
    if (s == vplat::invalid_socket) {
        vplat::debug_output("tcp socket() failed.\n");
        return VESK_ERR_SOCKET;
    }
    vplat::set_reuseaddr(s, true);
    if (vplat::connect_socket(s, addr) != 0) {
        vplat::debug_printf("tcp connect() server ip:%s failed.%d\n", vplat::format_ipv4(addr).c_str(), -1);
        vplat::close_socket(s);
        return VESK_ERR_SOCKET;
    }
    // One frame per exchange: a frame must never wait for a delayed ack.
    vplat::set_nodelay(s, !vesk_tuning::keep_nagle);
    vplat::debug_output("tcp connect success.\n");
    *sock_out = s;
    return VESK_OK;
}

int vesk::eth_device_open(int dev_id, vesk_close_callback callback, void* ctx)
{
    std::lock_guard<std::mutex> og(open_mutex);
    if (connected) return VESK_OK;

    vesk_addr addr{};
    if (dev_id < 0) {
        vplat::parse_ipv4(default_board_address, &addr);
    } else {
        server_info* info = server_get_list_by_dev_id(dev_id);
        if (info == nullptr) return VESK_ERR_NO_DEVICE;
        addr = info->addr;
    }
    addr.port = VESK_TCP_PORT;

    intptr_t sock = vplat::invalid_socket;
    if (vesk_start_tcp_connect(addr, &sock) != VESK_OK) return VESK_ERR_SOCKET;

    auto c = std::make_shared<vesk_connection>(sock, dev_id, callback, ctx);
    {
        std::lock_guard<std::mutex> g(state_mutex);
        conn = c;
        cur_dev_id = dev_id;
        connected = 1;
    }
    {
        std::lock_guard<std::mutex> g(threads->m);
        ++threads->live;
    }
    std::thread(vesk_receive_thread, this, std::move(c)).detach();
    return VESK_OK;
}

int vesk::eth_device_open(char* machine_id, vesk_close_callback callback, void* ctx)
{
    server_info* info = machine_id ? server_get_dev_id_by_machine_id(machine_id) : nullptr;
    if (info == nullptr) return VESK_ERR_NO_DEVICE;
    return eth_device_open(info->dev_id, callback, ctx);
}

void vesk::vesk_close_connection(const std::shared_ptr<vesk_connection>& c)
{
    {
        std::lock_guard<std::mutex> g(state_mutex);
        // Only the connection that is open now, and only once.
        if (!c || conn != c || !c->open) return;
        c->open = false;
        conn.reset();
        connected = 0;
    }
    // The descriptor itself is closed when the last holder lets go, so a
    // receive thread still waiting on it never sees a reused number.
    vplat::shutdown_socket(c->sock);
    c->recv_sem.release();  // wakes a sender waiting for its reply
    if (c->callback) c->callback(c->ctx, c->dev_id);
    std::lock_guard<std::mutex> g(state_mutex);
    if (!conn) cur_dev_id = -1;  // the callback may have opened a new link
}

int vesk::eth_device_close()
{
    vesk_close_connection(current_connection());
    return VESK_OK;
}

bool vesk::eth_device_state()
{
    return eth_send_cmd(0, XFER_READ, 0, nullptr, 0, nullptr) == VESK_OK;
}

void vesk::vesk_receive_thread(vesk* self, std::shared_ptr<vesk_connection> c)
{
    receive_thread_owner = self;
    std::shared_ptr<vesk_thread_count> count = self->threads;
    c->link_lost = false;
    while (c->open) {
        // A quiet second still looks below: a sender may have left a failure.
        int w = vplat::wait_readable(c->sock, 1000);
        if (w < 0) {
            if (c->open) {
                vplat::debug_output("select() failed\n");
                c->link_lost = true;
            }
            break;
        }
        int err = 0;
        assemble_result r;
        {
            std::lock_guard<std::mutex> rl(c->read_mutex);
            // A sender may have read what woke us; its failure, if any, waits here.
            if (!c->failure_pending_or_readable()) continue;
            r = c->assemble(&err);
            // Handed over before a sender can look, or it would wait on the
            // socket for a reply that has already been read.
            if (r == assemble_result::complete) c->publish();
        }
        if (r == assemble_result::complete) continue;
        if (!c->open) break;  // our own close woke the read
        if (r == assemble_result::peer_closed)
            vplat::debug_output("recv() server disconnect.\n");
        else
            vplat::debug_printf("recv() failed %d\n", err);
        c->link_lost = true;
        break;
    }
    self->vesk_close_connection(c);
    c.reset();
    receive_thread_owner = nullptr;
    std::lock_guard<std::mutex> g(count->m);
    --count->live;
    count->cv.notify_all();
}
