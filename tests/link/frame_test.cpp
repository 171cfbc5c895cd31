// Frame layout, checksum and the framing of reads, writes and exchanges.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "link_fixture.h"
#include "vesk_platform.h"

namespace {

unsigned bytewise_crc(const unsigned char* p, size_t n)
{
    unsigned c = 0;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return c;
}

std::vector<unsigned char> hex(const std::string& text)
{
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

}  // namespace

TEST(payload_crc32, check_values_and_pieces)
{
    EXPECT_EQ(payload_crc32("123456789", 9), 0x2DFD2D88u);
    EXPECT_EQ(payload_crc32("abc", 3), 0xCA6598D0u);
    EXPECT_EQ(payload_crc32("", 0), 0u);
    EXPECT_EQ(payload_crc32(nullptr, 0), 0u);
    const unsigned char two[] = {0x34, 0x12};
    EXPECT_EQ(payload_crc32(reinterpret_cast<const char*>(two), 2), 0x489382BFu);

    // The four-bytes-a-step loop gives the byte-at-a-time values for every
    // length and alignment, whole or in pieces.
    std::mt19937 rng(7);
    std::vector<unsigned char> data(9000);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    for (size_t start : {0u, 1u, 3u}) {
        for (size_t len : {0u, 1u, 5u, 64u, 8191u}) {
            const char* p = reinterpret_cast<const char*>(data.data() + start);
            unsigned whole = payload_crc32(p, static_cast<int>(len));
            EXPECT_EQ(whole, bytewise_crc(data.data() + start, len));
            size_t cut = len / 3;
            unsigned pieces = payload_crc32_update(payload_crc32(p, static_cast<int>(cut)), p + cut,
                                                   static_cast<int>(len - cut));
            EXPECT_EQ(pieces, whole);
        }
    }
}

TEST_F(link_test, request_frames_byte_for_byte)
{
    ASSERT_EQ(open(), 0);
    EXPECT_TRUE(link->eth_device_state());
    unsigned char value[] = {0x34, 0x12};
    EXPECT_EQ(link->eth_send_cmd(23, XFER_WRITE, 0x00010101, value, 2, nullptr), 0);

    auto frames = peer.received();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].bytes, hex("A55A 0000 0200 FFFF 00000000 FFFFFFFF 000000000000000000000000 00000000"));
    EXPECT_EQ(frames[1].bytes,
              hex("A55A 1700 0400 FFFF 01010100 BF829348 000000000000000000000000 02000000 3412"));
}

TEST_F(link_test, read_write_and_exchange_framing)
{
    ASSERT_EQ(open(), 0);
    unsigned char buf[64] = {};
    unsigned short got = 0;
    EXPECT_EQ(link->eth_send_cmd(16, XFER_READ, 0x40, buf, 24, &got), 0);
    EXPECT_EQ(got, 24);
    EXPECT_EQ(buf[0], 0x11);
    EXPECT_EQ(buf[24], 0);  // nothing beyond what was asked

    // A second read through the same counter adds up.
    EXPECT_EQ(link->eth_send_cmd(16, XFER_READ, 0x40, buf, 8, &got), 0);
    EXPECT_EQ(got, 32);

    unsigned char empty[1] = {0};
    EXPECT_EQ(link->eth_send_cmd(48, XFER_WRITE, 13, empty, 0, nullptr), 0);
    EXPECT_EQ(link->eth_send_cmd(48, XFER_WRITE, 13, nullptr, 5, nullptr), 0);  // no buffer: nothing announced
    unsigned char ex[4] = {1, 2, 3, 4};
    EXPECT_EQ(link->eth_send_cmd(18, XFER_EXCHANGE, 0, ex, 4, nullptr), 0);

    auto f = peer.received();
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].bytes.size(), 32u);
    EXPECT_EQ(f[0].data_len, 24u);
    EXPECT_EQ(f[0].crc, 0xFFFFFFFFu);
    EXPECT_EQ(f[0].arg, 0x40u);
    EXPECT_EQ(f[2].crc, 0u);  // empty buffer
    EXPECT_EQ(f[2].data_len, 0u);
    EXPECT_EQ(f[3].crc, 0xFFFFFFFFu);  // no buffer
    EXPECT_EQ(f[3].data_len, 0u);
    EXPECT_EQ(f[4].type, XFER_EXCHANGE);
    EXPECT_EQ(f[4].payload(), (std::vector<unsigned char>{1, 2, 3, 4}));
    EXPECT_EQ(f[4].crc, payload_crc32(reinterpret_cast<const char*>(ex), 4));
}

TEST_F(link_test, calls_longer_than_one_frame)
{
    ASSERT_EQ(open(), 0);
    std::vector<unsigned char> data(25000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
    EXPECT_EQ(link->eth_send_cmd(20, XFER_WRITE, 100, data.data(), 25000, nullptr), 0);
    auto f = peer.received();
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].arg, 100u);
    EXPECT_EQ(f[1].arg, 100u + 10208);
    EXPECT_EQ(f[2].arg, 100u + 20416);
    EXPECT_EQ(f[2].data_len, 25000u - 20416);
    std::vector<unsigned char> joined;
    for (auto& fr : f) {
        auto p = fr.payload();
        joined.insert(joined.end(), p.begin(), p.end());
    }
    EXPECT_EQ(joined, data);

    // A read ends at the first short frame.
    peer.set_script([](peer_session& s, const request_frame& r) {
        std::vector<unsigned char> p(r.arg == 0 ? r.data_len : 100, 0x33);
        s.send(make_reply(r.cmd, r.arg, p));
    });
    std::vector<unsigned char> in(30000, 0);
    unsigned short got = 0;
    EXPECT_EQ(link->eth_send_cmd(20, XFER_READ, 0, in.data(), 30000, &got), 0);
    EXPECT_EQ(got, 10208 + 100);
    EXPECT_EQ(peer.received().size(), 5u);
    EXPECT_EQ(in[10307], 0x33);
    EXPECT_EQ(in[10308], 0);
}
