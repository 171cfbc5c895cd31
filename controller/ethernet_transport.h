// Private: the transport over a link object of the link library.
#pragma once

#include "pelk_transport.h"
#include "vesk.h"

class vesk_transport : public cnc::transport {
public:
    // Sends through a link object that outlives the transport.
    explicit vesk_transport(vesk& link) : v(link) {}

    int open_index(int dev_id, pelk_close_callback callback, void* ctx) override;
    int open_id(const char* machine_id, pelk_close_callback callback, void* ctx) override;
    int open_address(const char* ipv4, pelk_close_callback callback, void* ctx) override;
    int close() override;
    void detach() override;
    bool alive() override;
    int poll(char* ids, char* count) override;
    int address_of(int dev_id, char* ipv4, int capacity) override;
    int send(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data, unsigned short len,
             unsigned short* out_len, unsigned reply_timeout_ms) override;
    int exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                 unsigned short* reply_len, unsigned reply_timeout_ms) override;

private:
    vesk& v;
};
