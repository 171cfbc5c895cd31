// The public link object: each call goes to the same-named one of its
// private state (vesk_impl.h), so the public header carries no machinery.
#include "vesk.h"

#include "vesk_impl.h"

vesk::vesk() : impl(std::make_unique<vesk_impl>()) {}

vesk::~vesk() { impl->vesk_shut_down(); }

int vesk::eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                       unsigned short len, unsigned short* out_len)
{
    return impl->eth_send_cmd(cmd, type, arg, data, len, out_len, VESK_REPLY_TIMEOUT_MS);
}

int vesk::eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                       unsigned short len, unsigned short* out_len, unsigned reply_timeout_ms)
{
    return impl->eth_send_cmd(cmd, type, arg, data, len, out_len, reply_timeout_ms);
}

int vesk::eth_exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                       unsigned short* reply_len, unsigned reply_timeout_ms)
{
    return impl->eth_exchange(cmd, arg, data, len, reply_len, reply_timeout_ms);
}

int vesk::eth_device_open(int dev_id, vesk_close_callback callback, void* ctx)
{
    return impl->eth_device_open(dev_id, callback, ctx);
}

int vesk::eth_device_open(char* machine_id, vesk_close_callback callback, void* ctx)
{
    return impl->eth_device_open(machine_id, callback, ctx);
}

int vesk::eth_device_open_address(const char* ipv4, vesk_close_callback callback, void* ctx)
{
    return impl->eth_device_open_address(ipv4, callback, ctx);
}

int vesk::eth_device_close() { return impl->eth_device_close(); }

void vesk::eth_device_detach() { impl->eth_device_detach(); }

bool vesk::eth_device_state() { return impl->eth_device_state(); }

int vesk::eth_device_poll(char* ids, char* count) { return impl->eth_device_poll(ids, count); }

int vesk::eth_device_address(int dev_id, char* ipv4, int capacity)
{
    return impl->eth_device_address(dev_id, ipv4, capacity);
}
