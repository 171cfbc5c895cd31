// The board object's own parts: its transport, the link operations, one raw
// command, and the observer of its transfers.
#include "board_state.h"
#include "reply_deadlines.h"
#include "trace.h"

cnc::board::board() : board(ethernet_transport()) {}

cnc::board::board(std::unique_ptr<transport> link) : s(std::make_unique<state>(std::move(link))) {}

cnc::board::~board() = default;

cnc::transport& cnc::board::link() { return *s->link; }

cnc::board::state& cnc::board::internals() { return *s; }

void cnc::board::observe_transfers(transfer_observer observer) { s->set_observer(std::move(observer)); }

int cnc::board::command(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                        unsigned short len, unsigned short* out_len)
{
    return s->link->send(cmd, type, arg, data, len, out_len, reply_deadline_ms(cmd, type, arg)) == 0
               ? PELK_OK
               : PELK_ERR_COMMAND;
}

int cnc::board::cnc_open_dev(char* machine_id, pelk_close_callback callback, void* ctx)
{
    pelk_trace("cnc open dev.\n");
    return s->link->open_id(machine_id, callback, ctx) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

int cnc::board::cnc_open_dev_index(int dev_id, pelk_close_callback callback, void* ctx)
{
    pelk_trace("cnc open dev %d.\n", dev_id);
    return s->link->open_index(dev_id, callback, ctx) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

int cnc::board::cnc_open_dev_address(const char* ipv4, pelk_close_callback callback, void* ctx)
{
    pelk_trace("cnc open dev %s.\n", ipv4 ? ipv4 : "(null)");
    if (ipv4 == nullptr) return PELK_ERR_RANGE;
    return s->link->open_address(ipv4, callback, ctx) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

int cnc::board::cnc_close_dev()
{
    pelk_trace("cnc close.\n");
    return s->link->close() == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

bool cnc::board::cnc_dev_state() { return s->link->alive(); }

int cnc::board::cnc_dev_poll(char* ids, char* count) { return s->link->poll(ids, count); }

int cnc::board::cnc_dev_address(int dev_id, char* ipv4, int capacity)
{
    if (ipv4 == nullptr || capacity <= 0) return PELK_ERR_RANGE;
    return s->link->address_of(dev_id, ipv4, capacity) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}
