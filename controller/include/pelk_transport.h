// How a board object reaches its board: the Ethernet link of the link
// library, or anything else that carries the same frames (an in-process
// stand-in for tests). One transport is one connection at a time.
#pragma once

#include <memory>

#include "pelk_types.h"

namespace cnc {

// Results are the link's codes: 0 success, 1 socket or connect failure, 2 no
// such board, 4 not connected, 5 send failed, 6 invalid reply, 7 link lost.
// Every operation may be called from several threads; whole exchanges are
// serialised by the transport.
class PELK_API transport {
public:
    virtual ~transport() = default;

    // Opens a connection to a board of the last poll's list (by its number or
    // its 12-byte machine id) or to an IPv4 address. The callback runs once
    // each time the connection closes, on the closing thread.
    virtual int open_index(int dev_id, pelk_close_callback callback, void* ctx) = 0;
    virtual int open_id(const char* machine_id, pelk_close_callback callback, void* ctx) = 0;
    virtual int open_address(const char* ipv4, pelk_close_callback callback, void* ctx) = 0;
    virtual int close() = 0;
    // Closes without calling back: for an owner that nobody listens to any more.
    virtual void detach() = 0;
    // True while the connection answers.
    virtual bool alive() = 0;

    // Discovery: the 12-byte ids of the boards that answered and their number.
    virtual int poll(char* ids, char* count) = 0;
    // The dotted IPv4 text of board dev_id of the last poll.
    virtual int address_of(int dev_id, char* ipv4, int capacity) = 0;

    // One request and its reply; reply bytes replace data, *out_len (may be
    // null) receives how many came. reply_timeout_ms bounds each reply.
    virtual int send(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                     unsigned short len, unsigned short* out_len, unsigned reply_timeout_ms) = 0;
    // One exchange frame whose answer is copied over the front of data.
    virtual int exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                         unsigned short* reply_len, unsigned reply_timeout_ms) = 0;
};

// A transport over an Ethernet link of its own: its own TCP connection and
// receive thread; discovery shares the process's list of boards.
PELK_API std::unique_ptr<transport> ethernet_transport();

}  // namespace cnc
