// A board object's transport to a simulated board in the same process: the
// frames a link would carry, handed to the board's engine without sockets,
// so tests of the front ends need no network at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "board_sim.h"
#include "pelk_transport.h"

namespace bsim {

class in_process_transport final : public cnc::transport {
public:
    // The board must outlive the transport. It answers as board 0 of every
    // poll, at the address given as its TCP address.
    explicit in_process_transport(board& b);
    ~in_process_transport() override;

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
    // A connection that ended and the callback still owed for it.
    struct ended {
        pelk_close_callback callback = nullptr;
        void* ctx = nullptr;
        int dev_id = -1;
        void call() const
        {
            if (callback) callback(ctx, dev_id);
        }
    };

    int open_connection(int dev_id, pelk_close_callback callback, void* ctx);
    // Ends the connection; the callback runs when call_back is set.
    void end(bool call_back);
    // Ends the connection and returns its callback, for the caller to run.
    ended take_connection();
    // One frame and its reply; the link's result code. A connection that
    // ends meanwhile lands in *lost, to be called back once send_lock is
    // released: the callback may well send again (a console closing up).
    int transfer(const unsigned char* head, const unsigned char* payload, unsigned payload_len, unsigned char* dst,
                 unsigned capacity, unsigned* got, ended* lost);
    int send_locked(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data, unsigned short len,
                    unsigned short* out_len, ended* lost);
    int exchange_locked(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                        unsigned short* reply_len, ended* lost);

    board& sim;
    std::mutex send_lock;   // whole exchanges, one at a time
    std::mutex state_lock;  // the connection fields below
    uint64_t connection = 0;
    int dev_id = -1;
    pelk_close_callback callback = nullptr;
    void* ctx = nullptr;
};

// A board object on a simulated board in the same process.
std::unique_ptr<cnc::transport> in_process(board& b);

}  // namespace bsim
