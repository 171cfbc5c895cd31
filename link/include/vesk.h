// Ethernet link to one controller board: discovery by UDP multicast, one TCP
// command connection, request/reply frames.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "vesk_export.h"

// Transfer types carried in cmd_head::type.
enum xfer_type : unsigned char {
    XFER_EXCHANGE = 1,
    XFER_READ = 2,
    XFER_WRITE = 4,
};

// Result codes of the link operations.
enum vesk_result : int {
    VESK_OK = 0,
    VESK_ERR_SOCKET = 1,
    VESK_ERR_NO_DEVICE = 2,
    VESK_ERR_NOT_CONNECTED = 4,
    VESK_ERR_SEND = 5,
    VESK_ERR_INVALID_REPLY = 6,
    VESK_ERR_LINK_LOST = 7,
};

constexpr uint16_t VESK_MAGIC = 0x5AA5;
constexpr int VESK_HEAD_SIZE = 32;
constexpr int VESK_MAX_PAYLOAD = 10208;
constexpr int VESK_FRAME_SIZE = VESK_HEAD_SIZE + VESK_MAX_PAYLOAD;  // 10240
constexpr uint16_t VESK_TCP_PORT = 9494;
constexpr uint16_t VESK_UDP_PORT = 9090;
constexpr int VESK_MAX_SERVERS = 32;
constexpr int VESK_ID_LEN = 12;
// A board on the local network accepts a connection in milliseconds; a
// connect that has not completed by then fails like a refused one.
constexpr int VESK_CONNECT_TIMEOUT_MS = 3000;
// Reply deadline of eth_send_cmd without one of its own: long enough for a
// slow board operation. Commands that answer at once pass a shorter one.
constexpr unsigned VESK_REPLY_TIMEOUT_MS = 30000;
// Reply deadline of the liveness probe.
constexpr unsigned VESK_PROBE_TIMEOUT_MS = 3000;

// The 32-byte frame header, little-endian on the wire.
#pragma pack(push, 1)
struct cmd_head {
    uint16_t magic;
    uint16_t cmd;
    uint16_t type;
    uint16_t reply_len;
    uint32_t arg;
    uint32_t crc;
    uint8_t reserved[12];
    uint32_t data_len;
};
#pragma pack(pop)
static_assert(sizeof(cmd_head) == VESK_HEAD_SIZE, "frame header is 32 bytes");

// Reflected CRC-32 (IEEE 802.3 polynomial) started from 0, no final inversion.
VESK_API unsigned payload_crc32(const char* data, int len);
VESK_API unsigned payload_crc32_update(unsigned crc, const char* data, int len);

// IPv4 address and port; ip[] in network order, port in host order.
struct vesk_addr {
    uint8_t ip[4];
    uint16_t port;
};

struct list_node {
    list_node* prev;
    list_node* next;
};

// One board found by discovery.
struct server_info {
    list_node link;
    int dev_id;
    vesk_addr addr;
    char machine_id[VESK_ID_LEN];
};

using vesk_close_callback = int (*)(void* ctx, int dev_id);

struct vesk_connection;
struct vesk_thread_list;
struct vesk_test_access;

class VESK_API vesk {
public:
    vesk();
    ~vesk();
    vesk(const vesk&) = delete;
    vesk& operator=(const vesk&) = delete;

    // Waits at most VESK_REPLY_TIMEOUT_MS for each reply.
    int eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                     unsigned short len, unsigned short* out_len);
    // The same with the reply deadline of each frame given in ms. A reply
    // that misses it loses the link, as a hang-up does: result 4, and the
    // close callback runs once.
    int eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                     unsigned short len, unsigned short* out_len, unsigned reply_timeout_ms);
    // One XFER_EXCHANGE frame of at most VESK_MAX_PAYLOAD bytes whose answer
    // is copied over the front of data; *reply_len receives how many bytes
    // came back, so that a short answer is told from the bytes sent.
    int eth_exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                     unsigned short* reply_len, unsigned reply_timeout_ms);
    int eth_device_open(int dev_id, vesk_close_callback callback, void* ctx);
    int eth_device_open(char* machine_id, vesk_close_callback callback, void* ctx);
    int eth_device_close();
    // Closes the open link without calling its close callback: for an owner
    // going away (a library being unloaded) when nobody listens any more.
    void eth_device_detach();
    bool eth_device_state();
    int eth_device_poll(char* ids, char* count);

private:
    friend struct vesk_test_access;
    friend struct vesk_connection;

    // Sends the 32-byte header and its payload as one frame, waits for the
    // reply and copies at most dst_capacity payload bytes to dst.
    int eth_transfer(const char* head, const unsigned char* payload, unsigned int payload_len,
                     unsigned char* dst, unsigned int dst_capacity, unsigned int* got, int deadline_ms);
    int vesk_start_tcp_connect(const vesk_addr& addr, intptr_t* sock_out);
    static void vesk_receive_thread(vesk* self, std::shared_ptr<vesk_connection> conn,
                                    std::shared_ptr<std::atomic<bool>> done);
    void vesk_start_receive_thread(std::shared_ptr<vesk_connection> conn);
    void vesk_close_connection(const std::shared_ptr<vesk_connection>& conn, bool call_back = true);
    int vesk_open_address(int dev_id, vesk_addr addr, vesk_close_callback callback, void* ctx);
    std::shared_ptr<vesk_connection> current_connection();

    int vesk_start_udp_connect();
    int vesk_run_passes(bool* pass_ran);
    static void vesk_udp_thread(vesk* self);
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
