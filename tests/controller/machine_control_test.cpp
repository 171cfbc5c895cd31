// Machine control and status against a scripted board.
#include <cstring>
#include <string>

#include "support.h"

namespace {

using bytes = std::vector<unsigned char>;

class machine_control : public board_test {
protected:
    // Serves a result text the way the controller does: each read takes up
    // to the bytes asked for from what is still pending.
    void serve_result_text(size_t size)
    {
        pending = std::string(size, 'r');
        for (size_t i = 0; i < size; ++i) pending[i] = char('a' + i % 26);
        board->set_answer([this](const request_frame& f) -> bytes {
            if (f.cmd == 48 && f.arg == 4) {
                size_t n = std::min<size_t>(f.data_len, pending.size());
                bytes out(pending.begin(), pending.begin() + long(n));
                pending.erase(0, n);
                return out;
            }
            return default_answer(f);
        });
    }
    std::string pending;
};

TEST_F(machine_control, home_sends_the_home_line_through_the_parser)
{
    ASSERT_EQ(dev->cnc_dev_home(), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].type, 1);
    EXPECT_EQ(f[0].arg, 3u);
    std::string line = "g28.2 x0 y0 z0 a0 b0 u0 v0 w0\n";
    EXPECT_EQ(f[0].payload(), bytes(line.begin(), line.end()));
    EXPECT_EQ(traces.lines(),
              (std::vector<std::string>{"cnc home.\n", "cnc parser [g28.2 x0 y0 z0 a0 b0 u0 v0 w0].\n"}));
}

TEST_F(machine_control, parser_line_limits)
{
    std::string longest(1278, 'g');
    ASSERT_EQ(dev->cnc_parser(longest.c_str()), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    ASSERT_EQ(f[0].data_len, 1279u);
    EXPECT_EQ(f[0].payload().back(), '\n');

    board->clear();
    traces.clear();
    std::string too_long(1279, 'g');
    EXPECT_EQ(dev->cnc_parser(too_long.c_str()), -7);
    EXPECT_TRUE(board->commands().empty());
    auto t = traces.lines();
    ASSERT_EQ(t.size(), 2u);
    // The trace routine cuts the echo of the line at its buffer and keeps the line feed.
    EXPECT_EQ(t[0].size(), 1023u);
    EXPECT_EQ(t[0].substr(0, 12), "cnc parser [");
    EXPECT_EQ(t[0].back(), '\n');
    EXPECT_EQ(t[1], "cnc_parser():line of 1279 bytes is longer than 1278, not sent.\n");

    EXPECT_EQ(dev->cnc_parser(nullptr), -7);
    EXPECT_TRUE(board->commands().empty());
}

TEST_F(machine_control, result_text_larger_than_the_buffer_stops_at_its_end)
{
    serve_result_text(3000);
    std::vector<uint8_t> buf(2000 + 64, 0xEE);
    uint16_t len = 0;
    ASSERT_EQ(dev->cnc_get_results(buf.data(), 2000, &len), 0);
    EXPECT_EQ(len, 2000);
    for (size_t i = 2000; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << "written past the capacity at " << i;
    auto f = board->commands();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].data_len, 600u);  // never asks for more than fits
    auto t = traces.lines();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "[result]:get 600 bytes.\n");
    EXPECT_EQ(t[1], "[result]:buffer of 2000 bytes is full, any rest of the text is left for the next read.\n");
    // The rest is still there for the next call.
    ASSERT_EQ(dev->cnc_get_results(buf.data(), 2000, &len), 0);
    EXPECT_EQ(len, 1000);
    EXPECT_EQ(buf[0], uint8_t('a' + 2000 % 26));

    // A capacity that is a whole number of chunks ends without another read.
    serve_result_text(5000);
    board->clear();
    ASSERT_EQ(dev->cnc_get_results(buf.data(), 1400, &len), 0);
    EXPECT_EQ(len, 1400);
    EXPECT_EQ(board->commands().size(), 1u);
}

TEST_F(machine_control, result_read_without_buffer_or_on_failure)
{
    uint16_t len = 77;
    EXPECT_EQ(dev->cnc_get_results(nullptr, 100, &len), 0);
    EXPECT_EQ(len, 77);
    EXPECT_TRUE(board->commands().empty());

    // A failed second chunk keeps the first one and reports -4.
    serve_result_text(3000);
    board->reject_when([n = 0](const request_frame& f) mutable { return f.arg == 4 && ++n == 2; });
    std::vector<uint8_t> buf(10240, 0);
    EXPECT_EQ(dev->cnc_get_results(buf.data(), uint16_t(buf.size()), &len), -4);
    EXPECT_EQ(len, 77);
    EXPECT_EQ(buf[1399], uint8_t('a' + 1399 % 26));
}

bytes status_block(uint16_t name_len, const std::string& name)
{
    bytes b(272, 0);
    auto put = [&b](size_t at, const bytes& v) { std::copy(v.begin(), v.end(), b.begin() + long(at)); };
    put(0, le32(0xA1B2C3D4));
    put(4, le32(120));   // parse line
    put(12, le32(118));  // run line
    for (int i = 0; i < 4; ++i) put(20 + 4 * size_t(i), le32(0x00050000u + 1000u * uint32_t(i + 1)));
    put(36, {1, 0, 2, 0});
    put(40, le16(0x0703));
    put(44, le32(0x0002));
    for (int i = 0; i < 9; ++i) {
        put(48 + 4 * size_t(i), le_float(1.25f + float(i)));     // work
        put(84 + 4 * size_t(i), le_float(-100.5f - float(i)));  // machine
    }
    std::copy(name.begin(), name.begin() + long(std::min<size_t>(name.size(), 128)), b.begin() + 120);
    put(248, le16(name_len));
    put(250, le16(31));
    b[252] = 0xC8;
    put(256, le32(65536 + 7));
    b[260] = 1;
    put(264, le16(0x0105));
    b[268] = 0x11;  // door
    b[269] = 0x22;  // air pressure
    b[270] = 0x33;
    b[271] = 0x44;
    return b;
}

TEST_F(machine_control, status_block_maps_to_the_record)
{
    bytes block = status_block(5, "part_N.nc-and-more");
    board->set_answer([&block](const request_frame& f) { return f.arg == 5 ? block : default_answer(f); });
    cnc_status st;
    std::memset(&st, 0, sizeof st);
    ASSERT_EQ(dev->cnc_get_status(&st), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].type, 2);
    EXPECT_EQ(f[0].data_len, 272u);
    EXPECT_TRUE(traces.lines().empty());

    EXPECT_EQ(st.status_word, 0xA1B2C3D4u);
    EXPECT_EQ(st.parse_line, 120u);
    EXPECT_EQ(st.run_line, 118u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(st.spindle_speed[i], 1000 * (i + 1));  // low 16 bits only
    EXPECT_EQ(st.coolant[0], 1);
    EXPECT_EQ(st.coolant[2], 2);
    EXPECT_EQ(st.tool_numbers, 0x0703);
    EXPECT_EQ(st.run_state, 2u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_FLOAT_EQ(st.work_pos[i], 1.25f + float(i));
        EXPECT_FLOAT_EQ(st.machine_pos[i], -100.5f - float(i));
    }
    EXPECT_EQ(std::string(st.job_name), "part_");
    EXPECT_EQ(st.alarm_code, 31);
    EXPECT_EQ(st.aux_byte, 0xC8);
    EXPECT_EQ(st.download_bytes, 65543u);
    EXPECT_EQ(st.resume_pending, 1);
    EXPECT_EQ(st.limit_state, 0x0105);
    EXPECT_EQ(st.door, 0x11);
    EXPECT_EQ(st.air_pressure, 0x22);
    EXPECT_EQ(st.dust, 0x33);
    EXPECT_EQ(st.drawer, 0x44);
}

TEST_F(machine_control, status_name_length_beyond_the_field_is_cut)
{
    std::string name(128, 'n');
    bytes block = status_block(300, name);
    board->set_answer([&block](const request_frame& f) { return f.arg == 5 ? block : default_answer(f); });
    struct {
        cnc_status st;
        unsigned char guard[64];
    } s;
    std::memset(&s, 0, sizeof s);
    std::memset(s.guard, 0xEE, sizeof s.guard);
    ASSERT_EQ(dev->cnc_get_status(&s.st), 0);
    EXPECT_EQ(std::string(s.st.job_name, 128), name);
    EXPECT_EQ(s.st.drawer, 0x44);
    for (unsigned char g : s.guard) ASSERT_EQ(g, 0xEE);
}

}  // namespace
