// Private: the state and machinery behind a link object. vesk forwards each
// public call to the same-named method here; the discovered-board list is
// shared by every object of the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "vesk.h"

struct vesk_connection;
struct vesk_thread_list;

struct vesk_impl {
    vesk_impl();
    ~vesk_impl();
    // Closes the link and joins the receive threads. vesk's destructor runs
    // it while the object is still whole, as a close callback may call it.
    void vesk_shut_down();
    vesk_impl(const vesk_impl&) = delete;
    vesk_impl& operator=(const vesk_impl&) = delete;

    // The public operations, with the meaning vesk.h gives them.
    int eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                     unsigned short len, unsigned short* out_len, unsigned reply_timeout_ms);
    int eth_exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                     unsigned short* reply_len, unsigned reply_timeout_ms);
    int eth_device_open(int dev_id, vesk_close_callback callback, void* ctx);
    int eth_device_open(char* machine_id, vesk_close_callback callback, void* ctx);
    int eth_device_open_address(const char* ipv4, vesk_close_callback callback, void* ctx);
    int eth_device_close();
    void eth_device_detach();
    bool eth_device_state();
    int eth_device_poll(char* ids, char* count);
    int eth_device_address(int dev_id, char* ipv4, int capacity);

    // Sends the 32-byte header and its payload as one frame, waits for the
    // reply and copies at most dst_capacity payload bytes to dst.
    int eth_transfer(const char* head, const unsigned char* payload, unsigned int payload_len,
                     unsigned char* dst, unsigned int dst_capacity, unsigned int* got, int deadline_ms);
    int vesk_start_tcp_connect(const vesk_addr& addr, intptr_t* sock_out);
    static void vesk_receive_thread(vesk_impl* self, std::shared_ptr<vesk_connection> conn,
                                    std::shared_ptr<std::atomic<bool>> done);
    void vesk_start_receive_thread(std::shared_ptr<vesk_connection> conn);
    void vesk_close_connection(const std::shared_ptr<vesk_connection>& conn, bool call_back = true);
    // The caller holds open_mutex.
    int vesk_open_address(int dev_id, vesk_addr addr, vesk_close_callback callback, void* ctx);
    std::shared_ptr<vesk_connection> current_connection();

    int vesk_start_udp_connect();
    int vesk_run_passes(bool* pass_ran);
    static void vesk_udp_thread(vesk_impl* self);
    static void server_list_insert(server_info* info);
    static void server_list_release();
    static server_info* server_get_list_by_dev_id(int dev_id);
    static server_info* server_get_dev_id_by_machine_id(const char* machine_id);
    // Under the list's lock: replaces the list by a pass's entries.
    static void server_list_replace(const std::vector<server_info>& found);
    // Under the list's lock: the address and dev_id of the entry with this
    // dev_id (machine_id null) or this machine_id.
    static bool server_find(int dev_id, const char* machine_id, vesk_addr* addr, int* found_dev_id);

    std::atomic<uint8_t> connected{0};
    int server_count = 0;
    std::atomic<uint8_t> udp_running{0};
    intptr_t udp_sock = -1;
    std::thread udp_thread;
    // One discovery at a time on this object; a second waits for the first.
    std::mutex poll_mutex;
    // What this object's last pass found, in dev_id order.
    std::vector<server_info> found;
    std::atomic<int> cur_dev_id{-1};
    std::mutex send_mutex;
    // Serialises opens, which may wait on a connect for long.
    std::mutex open_mutex;
    // Guards conn; never held across a wait or a callback.
    std::mutex state_mutex;
    // Receive threads started by this object; the destructor joins them.
    std::unique_ptr<vesk_thread_list> threads;
    // Socket, reply buffers, semaphore, callback and flags of the open link.
    // The receive thread and a waiting sender hold their own reference, so
    // nothing they touch is released under them.
    std::shared_ptr<vesk_connection> conn;

    // slist is shared by every object and guarded by slist_mutex.
    static list_node slist;
    static std::mutex slist_mutex;
};
