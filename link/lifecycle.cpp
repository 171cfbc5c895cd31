// The link object: open, close, the receive thread and the liveness probe.
#include <atomic>
#include <cstring>
#include <utility>

#include "connection.h"
#include "tuning.h"
#include "vesk_impl.h"
#include "vesk_platform.h"

namespace {

constexpr const char* default_board_address = "192.168.8.123";

}  // namespace

vesk_impl::vesk_impl() : threads(std::make_unique<vesk_thread_list>())
{
    vplat::net_startup();
}

vesk_impl::~vesk_impl() = default;

void vesk_impl::vesk_shut_down()
{
    eth_device_close();
    // No receive thread may outlive the object (or the library holding it):
    // each is joined. One running this destructor itself (a callback ending
    // the process) is left to finish on its own, and so are all of them
    // while the process ends: the system may have stopped them already
    // (Windows does, before it unloads the libraries), and waiting for a
    // thread stopped half-way could last for ever.
    const bool ending = vplat::process_ending();
    std::vector<vesk_thread_list::entry> all;
    {
        std::lock_guard<std::mutex> g(threads->m);
        all.swap(threads->threads);
    }
    for (auto& e : all) {
        if (ending || e.thread.get_id() == std::this_thread::get_id())
            e.thread.detach();
        else
            e.thread.join();
    }
    vplat::net_cleanup();
}

int vesk_impl::vesk_start_tcp_connect(const vesk_addr& addr, intptr_t* sock_out)
{
    vplat::socket_t s = vplat::tcp_socket();
    if (s == vplat::invalid_socket) {
        vplat::debug_output("tcp socket() failed.\n");
        return VESK_ERR_SOCKET;
    }
    vplat::set_reuseaddr(s, true);
    // Bounded: an address nobody answers would otherwise hold the caller
    // for the kernel's whole SYN retry schedule.
    if (vplat::connect_socket_within(s, addr, VESK_CONNECT_TIMEOUT_MS) != 0) {
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

int vesk_impl::eth_device_open(int dev_id, vesk_close_callback callback, void* ctx)
{
    std::lock_guard<std::mutex> og(open_mutex);
    if (connected) return VESK_OK;

    vesk_addr addr{};
    if (dev_id < 0) {
        vplat::parse_ipv4(default_board_address, &addr);
    } else if (!server_find(dev_id, nullptr, &addr, &dev_id)) {
        return VESK_ERR_NO_DEVICE;
    }
    return vesk_open_address(dev_id, addr, callback, ctx);
}

int vesk_impl::eth_device_open(char* machine_id, vesk_close_callback callback, void* ctx)
{
    std::lock_guard<std::mutex> og(open_mutex);
    // Address and dev_id come from one look at the list, so a discovery
    // renumbering it meanwhile cannot pair one board's id with another's address.
    vesk_addr addr{};
    int dev_id = -1;
    if (machine_id == nullptr || !server_find(0, machine_id, &addr, &dev_id)) return VESK_ERR_NO_DEVICE;
    if (connected) return VESK_OK;
    return vesk_open_address(dev_id, addr, callback, ctx);
}

int vesk_impl::eth_device_open_address(const char* ipv4, vesk_close_callback callback, void* ctx)
{
    // The platform's parser takes an empty text for the wildcard address,
    // which names no board.
    vesk_addr addr{};
    if (ipv4 == nullptr || ipv4[0] == '\0' || !vplat::parse_ipv4(ipv4, &addr)) return VESK_ERR_NO_DEVICE;
    std::lock_guard<std::mutex> og(open_mutex);
    if (connected) return VESK_OK;
    return vesk_open_address(-1, addr, callback, ctx);
}

int vesk_impl::vesk_open_address(int dev_id, vesk_addr addr, vesk_close_callback callback, void* ctx)
{
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
    vesk_start_receive_thread(std::move(c));
    return VESK_OK;
}

void vesk_impl::vesk_start_receive_thread(std::shared_ptr<vesk_connection> c)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard<std::mutex> g(threads->m);
    // Threads of earlier connections that have ended are joined here, so
    // the list stays as short as the connections still closing.
    auto& list = threads->threads;
    for (auto it = list.begin(); it != list.end();) {
        if (*it->done && it->thread.get_id() != std::this_thread::get_id()) {
            it->thread.join();
            it = list.erase(it);
        } else {
            ++it;
        }
    }
    list.push_back({std::thread(vesk_receive_thread, this, std::move(c), done), done});
}

void vesk_impl::vesk_close_connection(const std::shared_ptr<vesk_connection>& c, bool call_back)
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
    c->recv_sem.release();  // wakes a sender waiting for the close
    c->wake_receiver();
    if (call_back && c->callback) c->callback(c->ctx, c->dev_id);
    std::lock_guard<std::mutex> g(state_mutex);
    if (!conn) cur_dev_id = -1;  // the callback may have opened a new link
}

int vesk_impl::eth_device_close()
{
    vesk_close_connection(current_connection());
    return VESK_OK;
}

void vesk_impl::eth_device_detach() { vesk_close_connection(current_connection(), false); }

bool vesk_impl::eth_device_state()
{
    return eth_send_cmd(0, XFER_READ, 0, nullptr, 0, nullptr, VESK_PROBE_TIMEOUT_MS) == VESK_OK;
}

void vesk_impl::vesk_receive_thread(vesk_impl* self, std::shared_ptr<vesk_connection> c,
                               std::shared_ptr<std::atomic<bool>> done)
{
    c->link_lost = false;
    while (c->open) {
        // Sleeps while an exchange is in flight (its sender reads the
        // socket); between exchanges it waits on the socket, a second at a
        // time, so a hang-up is noticed while nobody sends.
        int w = c->watch(1000);
        if (w < 0) {
            if (c->open) {
                vplat::debug_output("select() failed\n");
                c->link_lost = true;
            }
            break;
        }
        if (w == 0) continue;
        int err = 0;
        assemble_result r;
        {
            std::unique_lock<std::mutex> rl(c->read_mutex, std::try_to_lock);
            if (!rl.owns_lock()) continue;  // a sender has the socket; it sees what came
            // A frame nobody asked for is dropped; a sender's failure is reported here.
            r = c->take_unasked(&err);
        }
        if (r == assemble_result::complete) continue;
        if (!c->open) break;  // our own close woke the read
        if (r == assemble_result::peer_closed)
            vplat::debug_output("recv() server disconnect.\n");
        else if (r == assemble_result::failed)
            vplat::debug_printf("recv() failed %d\n", err);
        // A passed reply deadline is reported by its sender.
        c->link_lost = true;
        break;
    }
    self->vesk_close_connection(c);
    c.reset();
    *done = true;
}
