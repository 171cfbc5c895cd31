// Discovery of boards by UDP multicast, one local adapter per pass.
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "frame.h"
#include "vesk_impl.h"
#include "vesk_platform.h"

namespace {

constexpr int datagram_size = 64;
constexpr int answer_timeout_ms = 100;

vesk_addr multicast_group()
{
    vesk_addr a{};
    vplat::parse_ipv4("224.0.0.88", &a);
    a.port = VESK_UDP_PORT;
    return a;
}

bool type_is_kept(int type)
{
    switch (type) {
    case vplat::IF_OTHER:
    case vplat::IF_ETHERNET:
    case vplat::IF_TOKEN_RING:
    case vplat::IF_FDDI:
    case vplat::IF_PPP:
    case vplat::IF_LOOPBACK:
    case vplat::IF_SLIP: return true;
    default: return false;
    }
}

std::deque<std::string> local_addresses()
{
    std::deque<std::string> out;
    std::vector<vplat::adapter> adapters;
    if (!vplat::list_adapters(adapters)) return out;
    for (const auto& a : adapters)
        if (type_is_kept(a.type) && a.ipv4 != "0.0.0.0") out.push_back(a.ipv4);
    return out;
}

void list_make_self(list_node* n) { n->prev = n->next = n; }

}  // namespace

int vesk_impl::vesk_start_udp_connect()
{
    bool pass_ran = false;
    int r = vesk_run_passes(&pass_ran);
    // Readers see the previous discovery's list until this one is done, then
    // the last pass's boards; never a list being rebuilt.
    if (pass_ran) server_list_replace(found);
    return r;
}

int vesk_impl::vesk_run_passes(bool* pass_ran)
{
    // The caller holds poll_mutex: this object's socket, thread and count
    // belong to one discovery at a time.
    std::deque<std::string> addresses = local_addresses();
    int n = static_cast<int>(addresses.size());
    server_count = 0;
    vplat::debug_printf("get %d mac.\n", n);
    for (;;) {
        std::string local;
        if (n > 0 && !addresses.empty()) {
            local = addresses.front();
            addresses.pop_front();
        }
        vplat::debug_printf("ip%d:%s.\n", n, local.c_str());

        udp_sock = vplat::udp_socket();
        if (udp_sock == vplat::invalid_socket) {
            vplat::debug_output("udp socket() failed.\n");
            return 0;
        }
        if (vplat::set_multicast_loop(udp_sock, false) != 0) {
            vplat::close_socket(udp_sock);
            udp_sock = vplat::invalid_socket;
            vplat::debug_output("udp setsockopt() loop error \n");
            return 0;
        }
        vplat::set_reuseaddr(udp_sock, true);
        vplat::set_recv_timeout_ms(udp_sock, answer_timeout_ms);
        vesk_addr any{};
        if (vplat::join_multicast(udp_sock, multicast_group(), any) != 0) {
            vplat::debug_output("udp setsockopt():IP_ADD_MEMBERSHIP error.\n");
            vplat::close_socket(udp_sock);
            udp_sock = vplat::invalid_socket;
            return 0;
        }
        // An empty local address binds the wildcard: the last pass sends from
        // the default interface.
        vesk_addr bind_addr{};
        bool parsed = vplat::parse_ipv4(local.c_str(), &bind_addr);
        bind_addr.port = VESK_UDP_PORT;
        if (!parsed || vplat::bind_socket(udp_sock, bind_addr) != 0) {
            vplat::debug_output("udp bind() failed.\n");
            vplat::close_socket(udp_sock);
            udp_sock = vplat::invalid_socket;
            return 0;
        }
        // Send the request out of the adapter this pass is for.
        if (!local.empty()) vplat::set_multicast_if(udp_sock, bind_addr);

        udp_running = 1;
        udp_thread = std::thread(vesk_udp_thread, this);
        udp_thread.join();
        *pass_ran = true;

        vplat::close_socket(udp_sock);
        udp_sock = vplat::invalid_socket;
        vplat::debug_printf("get server %d\r\n", server_count);

        n = n - 1;
        if (n < 0 || server_count != 0) return 0;
    }
}

void vesk_impl::vesk_udp_thread(vesk_impl* self)
{
    // The pass collects its boards on its own; the discovery replaces the
    // shared list with them in one step at its end.
    self->found.clear();
    self->server_count = 0;

    unsigned char request[datagram_size];
    std::memset(request, 0xFF, sizeof request);
    vframe::put16(request + 0, VESK_MAGIC);
    vframe::put16(request + 2, 1);
    vframe::put16(request + 4, XFER_READ);
    vframe::put16(request + 6, 0xFFFF);
    vframe::put32(request + 8, 0);
    if (vplat::send_to(self->udp_sock, request, sizeof request, multicast_group()) < 0) {
        self->udp_running = 0;
        return;
    }

    unsigned char answer[datagram_size];
    char machine_id[VESK_ID_LEN];
    while (self->server_count < VESK_MAX_SERVERS) {
        std::memset(answer, 0xFF, sizeof answer);
        vesk_addr from{};
        long n = vplat::recv_from(self->udp_sock, answer, sizeof answer, &from);
        if (n < 0) break;
        if (!vframe::parse_discovery_answer(answer, machine_id)) continue;
        vplat::debug_printf("udp get server ip success %s.\n", vplat::format_ipv4(from).c_str());
        server_info info{};
        list_make_self(&info.link);
        info.addr = from;
        std::memcpy(info.machine_id, machine_id, VESK_ID_LEN);
        info.dev_id = self->server_count;
        ++self->server_count;
        self->found.push_back(info);
    }
    self->udp_running = 0;
}

int vesk_impl::eth_device_poll(char* ids, char* count)
{
    std::lock_guard<std::mutex> g(poll_mutex);
    vesk_start_udp_connect();
    if (server_count == 0) return VESK_ERR_NO_DEVICE;
    if (count) *count = static_cast<char>(server_count);
    // From this object's own pass: another object's discovery may have
    // replaced the shared list since.
    if (ids)
        for (const server_info& info : found) std::memcpy(ids + info.dev_id * VESK_ID_LEN, info.machine_id, VESK_ID_LEN);
    return VESK_OK;
}
