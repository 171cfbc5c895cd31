// A peer for the benchmarks that answers every frame at once and does
// nothing else: reads get the bytes asked for, exchanges their payload back,
// writes an empty reply. The least any board can do per frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "vesk.h"

bool read_exact(intptr_t s, unsigned char* p, size_t n);
bool send_all(intptr_t s, const unsigned char* p, size_t n);

class answering_peer {
public:
    // Listens at address:port of the calling thread's network namespace.
    explicit answering_peer(const std::string& address, uint16_t port = VESK_TCP_PORT);
    ~answering_peer();
    answering_peer(const answering_peer&) = delete;
    answering_peer& operator=(const answering_peer&) = delete;
    bool ok = false;

private:
    void run();
    void serve(intptr_t c);
    intptr_t sock = -1;
    std::atomic<bool> stop{false};
    std::thread worker;
};
