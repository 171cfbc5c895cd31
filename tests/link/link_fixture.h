// A link object connected to a scripted peer on loopback.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "scripted_peer.h"
#include "trace_capture.h"
#include "vesk.h"
#include "vesk_testing.h"

struct close_record {
    std::atomic<int> calls{0};
    std::atomic<int> last_dev_id{-2};
    std::atomic<bool> on_caller_thread{false};
    std::thread::id caller;
    static int callback(void* ctx, int dev_id)
    {
        auto* r = static_cast<close_record*>(ctx);
        r->last_dev_id = dev_id;
        r->on_caller_thread = std::this_thread::get_id() == r->caller;
        ++r->calls;
        return 0;
    }
};

class link_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.listening()) << "cannot listen on " << peer.address();
        peer.set_read_fill(0x11);  // so that a read's bytes are seen to arrive
        vesk_test_clear_servers();
        ASSERT_TRUE(vesk_test_seed_server(0, peer.address().c_str(), "BOARD0000001"));
        closes.caller = std::this_thread::get_id();
    }
    void TearDown() override { vesk_test_clear_servers(); }

    int open() { return link->eth_device_open(0, &close_record::callback, &closes); }

    scripted_peer peer;
    close_record closes;
    std::unique_ptr<vesk> link = std::make_unique<vesk>();
};
