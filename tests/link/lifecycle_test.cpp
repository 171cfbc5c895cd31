// Opening, closing and losing the link, and the close callback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>

#include "link_fixture.h"
#include "vesk_platform.h"

namespace {

// The bound only ends a wait that will never succeed.
bool wait_for(const std::function<bool()>& done, int ms = 30000)
{
    for (int i = 0; i < ms / 5; ++i) {
        if (done()) return true;
        vplat::sleep_ms(5);
    }
    return done();
}

}  // namespace

TEST_F(link_test, open_while_open_keeps_the_first_connection)
{
    ASSERT_EQ(open(), 0);
    close_record other;
    EXPECT_EQ(link->eth_device_open(0, &close_record::callback, &other), 0);
    EXPECT_TRUE(link->eth_device_state());
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(link->eth_device_close(), 0);
    EXPECT_EQ(closes.calls, 1);
    EXPECT_EQ(other.calls, 0);
    EXPECT_EQ(closes.last_dev_id, 0);
    EXPECT_TRUE(closes.on_caller_thread);
    // A second close finds nothing to close.
    EXPECT_EQ(link->eth_device_close(), 0);
    EXPECT_EQ(closes.calls, 1);
}

TEST_F(link_test, unknown_board_and_failed_connect)
{
    trace_capture trace;
    EXPECT_EQ(link->eth_device_open(5, &close_record::callback, &closes), VESK_ERR_NO_DEVICE);
    char unknown[12] = {'n', 'o', 'n', 'e'};
    EXPECT_EQ(link->eth_device_open(unknown, &close_record::callback, &closes), VESK_ERR_NO_DEVICE);

    // Nobody listens at this loopback address.
    std::string silent = unique_loopback_address();
    vesk_test_clear_servers();
    ASSERT_TRUE(vesk_test_seed_server(0, silent.c_str(), "BOARD0000009"));
    EXPECT_EQ(open(), VESK_ERR_SOCKET);
    EXPECT_TRUE(trace.contains("tcp connect() server ip:" + silent + " failed.-1\n"));
    EXPECT_FALSE(link->eth_device_state());
    unsigned char b[4];
    EXPECT_EQ(link->eth_send_cmd(3, XFER_READ, 0, b, 4, nullptr), VESK_ERR_NOT_CONNECTED);
    EXPECT_EQ(closes.calls, 0);
}

TEST_F(link_test, open_by_machine_id_takes_the_first_in_list_order)
{
    vesk_test_clear_servers();
    // Same identifier twice: the lower address comes first in the list.
    scripted_peer second;
    ASSERT_TRUE(vesk_test_seed_server(0, peer.address().c_str(), "SAMEBOARD-ID"));
    ASSERT_TRUE(vesk_test_seed_server(1, second.address().c_str(), "SAMEBOARD-ID"));
    char id[] = "SAMEBOARD-ID";
    ASSERT_EQ(link->eth_device_open(id, &close_record::callback, &closes), 0);
    EXPECT_TRUE(link->eth_device_state());  // served, so accepted
    link->eth_device_close();
    // The list orders by last octet first; whichever peer sorts first got the connection.
    vesk_addr a{}, b{};
    vplat::parse_ipv4(peer.address().c_str(), &a);
    vplat::parse_ipv4(second.address().c_str(), &b);
    bool first_is_peer = a.ip[3] < b.ip[3];
    EXPECT_EQ(peer.connections(), first_is_peer ? 1 : 0);
    EXPECT_EQ(second.connections(), first_is_peer ? 0 : 1);
    EXPECT_EQ(closes.last_dev_id, first_is_peer ? 0 : 1);
}

// Opening by address needs no list: the text alone names the board, and
// what is no address reaches nobody.
TEST_F(link_test, open_by_address)
{
    vesk_test_clear_servers();
    for (const char* bad : {static_cast<const char*>(nullptr), "", "127.0.0", "127.0.0.1x", "256.0.0.1", "127.0.0.01"})
        EXPECT_EQ(link->eth_device_open_address(bad, &close_record::callback, &closes), VESK_ERR_NO_DEVICE)
            << (bad ? bad : "null");
    EXPECT_EQ(peer.connections(), 0);

    ASSERT_EQ(link->eth_device_open_address(peer.address().c_str(), &close_record::callback, &closes), 0);
    EXPECT_TRUE(link->eth_device_state());
    // Open already: the first connection stays, as with the other opens.
    close_record other;
    EXPECT_EQ(link->eth_device_open_address(peer.address().c_str(), &close_record::callback, &other), 0);
    EXPECT_TRUE(link->eth_device_state());
    EXPECT_EQ(peer.connections(), 1);
    link->eth_device_close();
    EXPECT_EQ(closes.calls, 1);
    EXPECT_EQ(closes.last_dev_id, -1);
    EXPECT_EQ(other.calls, 0);

    trace_capture trace;
    std::string silent = unique_loopback_address();
    EXPECT_EQ(link->eth_device_open_address(silent.c_str(), &close_record::callback, &closes), VESK_ERR_SOCKET);
    EXPECT_TRUE(trace.contains("tcp connect() server ip:" + silent + " failed.-1\n"));
    EXPECT_FALSE(link->eth_device_state());
    EXPECT_EQ(closes.calls, 1);
}

// Objects opened by address at the same time each talk to their own board.
TEST_F(link_test, objects_open_their_own_boards_by_address_in_parallel)
{
    scripted_peer second;
    ASSERT_TRUE(second.listening());
    vesk other;
    std::atomic<int> failures{0};
    auto use = [&](vesk& v, const std::string& address, unsigned arg) {
        unsigned char b[4];
        if (v.eth_device_open_address(address.c_str(), nullptr, nullptr) != 0) ++failures;
        for (int i = 0; i < 20; ++i)
            if (v.eth_send_cmd(16, XFER_READ, arg, b, 4, nullptr) != 0) ++failures;
    };
    std::thread a([&] { use(*link, peer.address(), 1); });
    std::thread b([&] { use(other, second.address(), 2); });
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(second.connections(), 1);
    for (const auto& f : peer.commands()) EXPECT_EQ(f.arg, 1u);
    for (const auto& f : second.commands()) EXPECT_EQ(f.arg, 2u);
    EXPECT_EQ(peer.commands().size(), 20u);
    EXPECT_EQ(second.commands().size(), 20u);
}

TEST_F(link_test, address_of_a_listed_board)
{
    ASSERT_TRUE(vesk_test_seed_server(3, "255.255.255.255", "BOARD0000003"));
    char text[16];
    ASSERT_EQ(link->eth_device_address(0, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), peer.address());
    ASSERT_EQ(link->eth_device_address(3, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), "255.255.255.255");  // the longest text fits 16 bytes

    // No such board, or no room for the whole text: nothing but an empty text.
    EXPECT_EQ(link->eth_device_address(1, text, sizeof text), VESK_ERR_NO_DEVICE);
    EXPECT_EQ(text[0], '\0');
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(link->eth_device_address(3, text, 15), VESK_ERR_NO_DEVICE);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(link->eth_device_address(3, nullptr, 16), VESK_ERR_NO_DEVICE);
    EXPECT_EQ(link->eth_device_address(3, text, 0), VESK_ERR_NO_DEVICE);

    // The address opens the same board the index does.
    ASSERT_EQ(link->eth_device_address(0, text, sizeof text), 0);
    ASSERT_EQ(link->eth_device_open_address(text, nullptr, nullptr), 0);
    EXPECT_TRUE(link->eth_device_state());
    EXPECT_EQ(peer.connections(), 1);
    link->eth_device_close();

    vesk_test_clear_servers();
    EXPECT_EQ(link->eth_device_address(0, text, sizeof text), VESK_ERR_NO_DEVICE);
}

TEST_F(link_test, peer_hang_up_closes_the_link_on_the_receive_thread)
{
    trace_capture trace;
    peer.set_script([](peer_session& s, const request_frame& r) {
        if (r.cmd == 9) s.hang_up();
        else s.send(default_reply(r));
    });
    ASSERT_EQ(open(), 0);
    unsigned char b[4];
    EXPECT_EQ(link->eth_send_cmd(9, XFER_READ, 8, b, 4, nullptr), VESK_ERR_NOT_CONNECTED);
    ASSERT_TRUE(wait_for([&] { return closes.calls == 1; }));
    EXPECT_FALSE(closes.on_caller_thread);
    EXPECT_EQ(closes.last_dev_id, 0);
    EXPECT_TRUE(trace.contains("recv() server disconnect.\n"));
    EXPECT_TRUE(trace.contains("recv timeout.\n"));
    EXPECT_FALSE(link->eth_device_state());
    EXPECT_EQ(link->eth_send_cmd(3, XFER_READ, 0, b, 4, nullptr), VESK_ERR_NOT_CONNECTED);
    vplat::sleep_ms(50);
    EXPECT_EQ(closes.calls, 1);

    // Opening again starts afresh.
    peer.set_script(nullptr);
    ASSERT_EQ(open(), 0);
    EXPECT_TRUE(link->eth_device_state());
}

TEST_F(link_test, user_close_wakes_a_waiting_sender)
{
    peer.set_script([](peer_session&, const request_frame&) {});  // never answers
    ASSERT_EQ(open(), 0);
    std::atomic<int> result{-1};
    std::thread sender([&] {
        unsigned char b[4];
        result = link->eth_send_cmd(3, XFER_READ, 0, b, 4, nullptr);
    });
    ASSERT_TRUE(wait_for([&] { return peer.received().size() == 1; }));
    vplat::sleep_ms(20);
    EXPECT_EQ(result, -1);
    link->eth_device_close();
    sender.join();
    EXPECT_EQ(result, VESK_ERR_NOT_CONNECTED);
    EXPECT_EQ(closes.calls, 1);
    EXPECT_TRUE(closes.on_caller_thread);
}

TEST_F(link_test, destroying_the_object_runs_the_callback)
{
    ASSERT_EQ(open(), 0);
    link.reset();
    EXPECT_EQ(closes.calls, 1);
    EXPECT_TRUE(closes.on_caller_thread);
}

TEST_F(link_test, callback_may_reopen_from_the_receive_thread)
{
    // A console that reconnects from its close callback must not deadlock.
    struct ctx_t {
        vesk* link;
        std::atomic<int> calls{0};
        std::atomic<int> reopen{-1};
    } ctx{link.get()};
    auto cb = [](void* p, int) -> int {
        auto* c = static_cast<ctx_t*>(p);
        if (++c->calls == 1) c->reopen = c->link->eth_device_open(0, nullptr, nullptr);
        return 0;
    };
    peer.set_script([](peer_session& s, const request_frame& r) {
        if (r.cmd == 9) s.hang_up();
        else s.send(default_reply(r));
    });
    ASSERT_EQ(link->eth_device_open(0, cb, &ctx), 0);
    unsigned char b[4];
    link->eth_send_cmd(9, XFER_READ, 0, b, 4, nullptr);
    ASSERT_TRUE(wait_for([&] { return ctx.reopen != -1; }));
    EXPECT_EQ(ctx.reopen, 0);
    EXPECT_TRUE(link->eth_device_state());
}

TEST_F(link_test, open_close_cycles_with_random_hang_ups)
{
    std::mt19937 rng(12345);
    std::mutex rng_mutex;
    peer.set_script([&](peer_session& s, const request_frame& r) {
        int roll;
        {
            std::lock_guard<std::mutex> g(rng_mutex);
            roll = static_cast<int>(rng() % 8);
        }
        if (roll == 0) s.hang_up();
        else s.send(default_reply(r));
    });
    int callbacks_expected = 0;
    for (int i = 0; i < 1000; ++i) {
        int before = closes.calls;
        if (open() != 0) continue;
        unsigned char b[8];
        int n;
        {
            std::lock_guard<std::mutex> g(rng_mutex);
            n = static_cast<int>(rng() % 4);
        }
        for (int k = 0; k < n; ++k) link->eth_send_cmd(16, XFER_READ, 0, b, 8, nullptr);
        link->eth_device_close();
        ++callbacks_expected;
        // Exactly one callback per open, whoever closed.
        ASSERT_TRUE(wait_for([&] { return closes.calls == before + 1; })) << "cycle " << i;
    }
    EXPECT_EQ(closes.calls, callbacks_expected);
}

// A board that keeps the connection but stops answering: the exchange gives
// up at its deadline and the link is lost as on a hang-up (result 4, one
// callback on the receive thread); a slow answer within the deadline counts.
TEST_F(link_test, a_reply_deadline_loses_a_silent_link)
{
    trace_capture trace;
    peer.set_script([](peer_session& s, const request_frame& r) {
        if (r.cmd == 48 && r.arg == 5) return;  // status: never answered
        if (r.cmd == 16) vplat::sleep_ms(300);      // slow but in time
        s.send(default_reply(r));
    });
    ASSERT_EQ(open(), 0);
    unsigned char b[8];
    EXPECT_EQ(link->eth_send_cmd(16, XFER_READ, 0, b, 8, nullptr, 2000), 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(link->eth_send_cmd(48, XFER_READ, 5, b, 8, nullptr, 400), VESK_ERR_NOT_CONNECTED);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 3.0);
    EXPECT_TRUE(trace.contains("recv timeout.\n"));
    ASSERT_TRUE(wait_for([&] { return closes.calls == 1; }));
    EXPECT_FALSE(closes.on_caller_thread);
    EXPECT_FALSE(link->eth_device_state());
    vplat::sleep_ms(50);
    EXPECT_EQ(closes.calls, 1);

    // The probe has a deadline of its own; the callback runs once again.
    ASSERT_EQ(open(), 0);
    peer.set_script([](peer_session&, const request_frame&) {});
    t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link->eth_device_state());
    secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, VESK_PROBE_TIMEOUT_MS / 1000.0 + 3.0);
    ASSERT_TRUE(wait_for([&] { return closes.calls == 2; }));
}

// A hang-up between exchanges is still noticed while nobody sends, also
// right after a run of exchanges (the receive thread slept through them).
TEST_F(link_test, a_hang_up_after_a_burst_of_exchanges_is_noticed)
{
    // Owned by the script: the peer's thread outlives this test body.
    auto seen = std::make_shared<std::atomic<int>>(0);
    peer.set_script([seen](peer_session& s, const request_frame& r) {
        s.send(default_reply(r));
        if (++*seen == 200) s.hang_up();
    });
    ASSERT_EQ(open(), 0);
    unsigned char b[8];
    for (int i = 0; i < 200; ++i) ASSERT_EQ(link->eth_send_cmd(16, XFER_READ, 0, b, 8, nullptr), 0);
    ASSERT_TRUE(wait_for([&] { return closes.calls == 1; }));
    EXPECT_FALSE(closes.on_caller_thread);
}
