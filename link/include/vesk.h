// Ethernet link to one controller board: discovery by UDP multicast, one TCP
// command connection, request/reply frames.
#pragma once

#include <cstdint>
#include <memory>

#include "vesk_addr.h"
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

// The link object's state and machinery, private to the library.
struct vesk_impl;

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

    // Opens a link to the board at this dotted IPv4 address (board port
    // VESK_TCP_PORT) without discovery, as eth_device_open does otherwise:
    // 0 (also when a link is open already), 1 when the connect fails, 2 when
    // ipv4 is no address. The close callback receives dev_id -1.
    int eth_device_open_address(const char* ipv4, vesk_close_callback callback, void* ctx);
    // The dotted IPv4 address of the board with this dev_id in the list that
    // eth_device_open(dev_id) opens from (the last discovery's), terminated,
    // into ipv4: 0, or 2 when no board has that dev_id or ipv4 cannot hold
    // the text (16 bytes always do).
    int eth_device_address(int dev_id, char* ipv4, int capacity);

private:
    std::unique_ptr<vesk_impl> impl;
};
