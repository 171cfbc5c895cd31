// Replies checked against their request, assembled from pieces, and kept
// within the buffers they land in.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "link_fixture.h"
#include "vesk_platform.h"

namespace {

struct bad_reply_case {
    const char* name;
    std::function<std::vector<unsigned char>(const request_frame&)> make;
};

}  // namespace

TEST_F(link_test, invalid_replies_give_6_and_keep_the_link)
{
    const bad_reply_case cases[] = {
        {"magic", [](const request_frame& r) { return make_reply(r.cmd, r.arg, {1, 2, 3, 4}, 0x5AA6); }},
        {"cmd", [](const request_frame& r) { return make_reply(r.cmd + 1, r.arg, {1, 2, 3, 4}); }},
        {"arg", [](const request_frame& r) { return make_reply(r.cmd, r.arg + 1, {1, 2, 3, 4}); }},
        {"reply_len 0xFFFF", [](const request_frame& r) { return make_reply_len(r.cmd, r.arg, 0xFFFF, 0); }},
    };
    ASSERT_EQ(open(), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer.set_script([&](peer_session& s, const request_frame& r) {
            s.send(r.cmd == 0 ? default_reply(r) : c.make(r));
        });
        unsigned char buf[4] = {9, 9, 9, 9};
        unsigned short got = 0;
        EXPECT_EQ(link->eth_send_cmd(3, XFER_READ, 0, buf, 4, &got), VESK_ERR_INVALID_REPLY);
        EXPECT_EQ(got, 0);
        EXPECT_EQ(buf[0], 9);  // nothing copied
        EXPECT_TRUE(link->eth_device_state());
    }
    EXPECT_EQ(closes.calls, 0);
}

TEST_F(link_test, reply_in_one_byte_pieces_is_assembled)
{
    peer.set_script([](peer_session& s, const request_frame& r) {
        s.send_bytewise(make_reply(r.cmd, r.arg, {0xDE, 0xAD, 0xBE, 0xEF, 0x01}));
    });
    ASSERT_EQ(open(), 0);
    unsigned char buf[5] = {};
    unsigned short got = 0;
    EXPECT_EQ(link->eth_send_cmd(16, XFER_READ, 7, buf, 5, &got), 0);
    EXPECT_EQ(got, 5);
    EXPECT_EQ(buf[3], 0xEF);
    EXPECT_EQ(buf[4], 0x01);
}

TEST_F(link_test, oversized_replies_are_refused_and_the_stream_stays_in_step)
{
    ASSERT_EQ(open(), 0);
    // More than a frame holds, with every announced byte sent.
    peer.set_script([](peer_session& s, const request_frame& r) {
        s.send(r.cmd == 5 ? make_reply_len(r.cmd, r.arg, 30000, 30000) : default_reply(r));
    });
    std::vector<unsigned char> big(VESK_MAX_PAYLOAD + 64, 0);
    unsigned short got = 0;
    EXPECT_EQ(link->eth_send_cmd(5, XFER_READ, 0, big.data(), VESK_MAX_PAYLOAD, &got), VESK_ERR_INVALID_REPLY);
    EXPECT_EQ(big[0], 0);
    EXPECT_TRUE(link->eth_device_state());

    // Longer than the caller asked for: the guard bytes behind stay intact.
    peer.set_script([](peer_session& s, const request_frame& r) {
        s.send(r.cmd == 2 ? make_reply(r.cmd, r.arg, std::vector<unsigned char>(40, 0x5C)) : default_reply(r));
    });
    unsigned char small[16];
    std::memset(small, 0xEE, sizeof small);
    EXPECT_EQ(link->eth_send_cmd(2, XFER_READ, 0, small, 12, &got), VESK_ERR_INVALID_REPLY);
    EXPECT_EQ(small[0], 0xEE);
    EXPECT_EQ(small[12], 0xEE);
    EXPECT_TRUE(link->eth_device_state());
    EXPECT_EQ(closes.calls, 0);

    // Garbage announcing a length nobody sends: the link is closed, not left waiting.
    peer.set_script([](peer_session& s, const request_frame& r) {
        s.send(r.cmd == 7 ? make_reply_len(r.cmd, r.arg, 0x9000, 100) : default_reply(r));
    });
    EXPECT_EQ(link->eth_send_cmd(7, XFER_READ, 0, big.data(), 16, &got), VESK_ERR_NOT_CONNECTED);
    for (int i = 0; i < 200 && closes.calls == 0; ++i) vplat::sleep_ms(5);  // the callback follows the wake-up
    EXPECT_EQ(closes.calls, 1);
}

TEST_F(link_test, a_whole_reply_counts_even_when_the_board_hangs_up_after_it)
{
    peer.set_script([](peer_session& s, const request_frame& r) {
        s.send(make_reply(r.cmd, r.arg, {1, 2, 3, 4}));
        s.hang_up();
    });
    ASSERT_EQ(open(), 0);
    unsigned char b[4] = {};
    EXPECT_EQ(link->eth_send_cmd(3, XFER_READ, 0, b, 4, nullptr), 0);
    EXPECT_EQ(b[3], 4);
    EXPECT_EQ(link->eth_send_cmd(3, XFER_READ, 0, b, 4, nullptr), VESK_ERR_NOT_CONNECTED);
}

TEST_F(link_test, short_and_empty_replies)
{
    peer.set_script([](peer_session& s, const request_frame& r) {
        if (r.cmd == 18) s.send(make_reply(r.cmd, r.arg, {0xAA, 0xBB}));
        else s.send(make_reply(r.cmd, r.arg, {}));
    });
    ASSERT_EQ(open(), 0);
    unsigned char ex[4] = {1, 2, 3, 4};
    EXPECT_EQ(link->eth_send_cmd(18, XFER_EXCHANGE, 0, ex, 4, nullptr), 0);
    EXPECT_EQ(ex[0], 0xAA);
    EXPECT_EQ(ex[1], 0xBB);
    EXPECT_EQ(ex[2], 3);  // only as many bytes as came back

    unsigned char rd[4] = {7, 7, 7, 7};
    unsigned short got = 5;
    EXPECT_EQ(link->eth_send_cmd(3, XFER_READ, 0, rd, 4, &got), 0);
    EXPECT_EQ(got, 5);  // an empty reply adds nothing
    EXPECT_EQ(rd[0], 7);
}

TEST_F(link_test, a_reply_nobody_asked_for_is_not_taken_for_the_next_answer)
{
    ASSERT_EQ(open(), 0);
    // The board sends two answers to one status read; the second must not
    // stand in for the answer to the next read.
    std::atomic<int> serial{0};
    std::atomic<bool> extra_sent{false};
    peer.set_script([&](peer_session& s, const request_frame& r) {
        unsigned char n = static_cast<unsigned char>(++serial);
        s.send(make_reply(r.cmd, r.arg, {n, n, n, n}));
        if (n == 1) {
            s.send(make_reply(r.cmd, r.arg, {0xEE, 0xEE, 0xEE, 0xEE}));
            extra_sent = true;
        }
    });
    unsigned char buf[4];
    ASSERT_EQ(link->eth_send_cmd(48, XFER_READ, 5, buf, 4, nullptr), 0);
    EXPECT_EQ(buf[0], 1);
    // The extra answer is on the link before the next read is sent.
    for (int i = 0; i < 6000 && !extra_sent; ++i) vplat::sleep_ms(5);
    ASSERT_TRUE(extra_sent);
    ASSERT_EQ(link->eth_send_cmd(48, XFER_READ, 5, buf, 4, nullptr), 0);
    EXPECT_EQ(buf[0], 2);
}
