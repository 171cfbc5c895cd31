// The Ethernet transport: each operation is the link object's own.
#include "ethernet_transport.h"

#include <cstring>

int vesk_transport::open_index(int dev_id, pelk_close_callback callback, void* ctx)
{
    return v.eth_device_open(dev_id, callback, ctx);
}

int vesk_transport::open_id(const char* machine_id, pelk_close_callback callback, void* ctx)
{
    // The link reads the 12 bytes and never writes them.
    return v.eth_device_open(const_cast<char*>(machine_id), callback, ctx);
}

int vesk_transport::open_address(const char* ipv4, pelk_close_callback callback, void* ctx)
{
    return v.eth_device_open_address(ipv4, callback, ctx);
}

int vesk_transport::close() { return v.eth_device_close(); }

void vesk_transport::detach() { v.eth_device_detach(); }

bool vesk_transport::alive() { return v.eth_device_state(); }

int vesk_transport::poll(char* ids, char* count) { return v.eth_device_poll(ids, count); }

int vesk_transport::address_of(int dev_id, char* ipv4, int capacity)
{
    return v.eth_device_address(dev_id, ipv4, capacity);
}

int vesk_transport::send(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                         unsigned short len, unsigned short* out_len, unsigned reply_timeout_ms)
{
    return v.eth_send_cmd(cmd, type, arg, data, len, out_len, reply_timeout_ms);
}

int vesk_transport::exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                             unsigned short* reply_len, unsigned reply_timeout_ms)
{
    return v.eth_exchange(cmd, arg, data, len, reply_len, reply_timeout_ms);
}

namespace {

// A transport that owns its link object.
class own_link_transport final : public vesk_transport {
public:
    own_link_transport() : vesk_transport(own) {}

private:
    vesk own;
};

}  // namespace

std::unique_ptr<cnc::transport> cnc::ethernet_transport() { return std::make_unique<own_link_transport>(); }
