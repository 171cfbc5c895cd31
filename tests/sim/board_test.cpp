// The simulated board's answers, seen through the link library.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "sim_support.h"

namespace {

uint32_t u32(const std::vector<uint8_t>& v, size_t off)
{
    uint32_t x = 0;
    std::memcpy(&x, v.data() + off, 4);
    return x;
}
float f32(const std::vector<uint8_t>& v, size_t off)
{
    float x = 0;
    std::memcpy(&x, v.data() + off, 4);
    return x;
}
std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }
std::vector<uint8_t> sd_name(const std::string& s)
{
    std::vector<uint8_t> n(256, 0);
    std::memcpy(n.data(), s.data(), s.size());
    return n;
}

class board_test : public sim_test {
protected:
    void SetUp() override
    {
        sim_test::SetUp();
        cfg.set_product = cfg.set_variant = cfg.set_major = cfg.set_minor = true;
        cfg.id.product = 1, cfg.id.variant = 2, cfg.id.fw_major = 3, cfg.id.fw_minor = 4;
        start_board();
        ASSERT_TRUE(open_link());
    }
    // Creates, writes and closes an SD file the way hosts do.
    void sd_write(const std::string& name, std::vector<uint8_t> data)
    {
        auto n = sd_name(name);
        ASSERT_EQ(send(21, XFER_WRITE, 1, n), 0);
        ASSERT_EQ(send(20, XFER_WRITE, 0, data), 0);
        n = sd_name(name);
        ASSERT_EQ(send(21, XFER_WRITE, 4, n), 0);
    }
};

TEST_F(board_test, identity_and_peripherals)
{
    EXPECT_EQ(u32(read(3, 0, 4), 0), 0x01020304u);
    auto id = sim->ident();
    EXPECT_EQ(read(2, 0, 12), std::vector<uint8_t>(id.board_id.begin(), id.board_id.end()));

    std::vector<uint8_t> r = {150}, g = {50};
    EXPECT_EQ(send(17, XFER_WRITE, 0, r), 0);
    EXPECT_EQ(send(17, XFER_WRITE, 1, g), 0);
    std::vector<uint8_t> fh = {0x34, 0x12}, leds = {1, 0, 2, 0, 3, 0};
    EXPECT_EQ(send(23, XFER_WRITE, 0x00010101, fh), 0);
    EXPECT_EQ(send(23, XFER_WRITE, 1 | (3 + 45) << 8 | 3 << 16, leds), 0);
    std::vector<uint8_t> duty = {40}, period = {0x10, 0x27, 0, 0};
    EXPECT_EQ(send(18, XFER_WRITE, 0, duty), 0);
    EXPECT_EQ(send(18, XFER_EXCHANGE, 0, period), 0);
    std::vector<uint8_t> tool = {1, 1}, dust = {1};
    EXPECT_EQ(send(48, XFER_WRITE, 12, tool), 0);
    EXPECT_EQ(send(48, XFER_WRITE, 15, dust), 0);
    auto p = sim->peripheral_state();
    EXPECT_EQ(p.status_led[0], 100);  // percent, clamped
    EXPECT_EQ(p.status_led[1], 50);
    EXPECT_EQ(p.rgb_fh, 0x1234);
    EXPECT_EQ(p.strip[45], 1);
    EXPECT_EQ(p.strip[47], 3);
    EXPECT_EQ(p.buzzer_duty, 40);
    EXPECT_EQ(p.buzzer_period, 10000u);
    EXPECT_EQ(p.tool_switch[1], 1);
    EXPECT_EQ(status()[270], 1);  // dust output in the status block

    sim->set_key(3, 1);
    EXPECT_EQ(read(19, 3, 1), std::vector<uint8_t>{1});
    auto hello = bytes("hello");
    EXPECT_EQ(send(16, XFER_WRITE, 0x7FFE, hello), 0);
    EXPECT_EQ(read(16, 0x7FFE, 8), bytes("he"));  // the FRAM ends at 32 KiB
}

TEST_F(board_test, fpga_flash_needs_control_line_low_and_reads_back)
{
    std::vector<uint8_t> image(3000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7);
    std::vector<uint8_t> chunk(image.begin(), image.begin() + 1024);
    EXPECT_EQ(send(32, XFER_WRITE, 0, chunk), 0);
    EXPECT_TRUE(sim->fpga_image().empty()) << "written while the FPGA held the flash";

    std::vector<uint8_t> low = {0}, high = {1};
    ASSERT_EQ(send(33, XFER_WRITE, 2, low), 0);
    ASSERT_EQ(send(32, XFER_EXCHANGE, 0), 0);
    for (uint32_t off = 0; off < image.size(); off += 1024) {
        std::vector<uint8_t> c(image.begin() + off, image.begin() + std::min<size_t>(off + 1024, image.size()));
        ASSERT_EQ(send(32, XFER_WRITE, off, c), 0);
    }
    EXPECT_EQ(read(32, 2048, 1024), std::vector<uint8_t>(image.begin() + 2048, image.end()));  // short at the end
    ASSERT_EQ(send(33, XFER_WRITE, 2, high), 0);
    EXPECT_EQ(sim->fpga_image(), image);
}

TEST_F(board_test, mcu_application_only_while_major_version_is_zero)
{
    std::vector<uint8_t> app(1024, 0xAB), commit = {1};
    ASSERT_EQ(send(9, XFER_EXCHANGE, 1), 0);
    ASSERT_EQ(send(9, XFER_WRITE, 0, app), 0);
    ASSERT_EQ(send(9, XFER_EXCHANGE, 2, commit), 0);
    EXPECT_TRUE(sim->mcu_app().empty());

    link.eth_device_close();
    cfg.id.fw_major = 0;
    start_board();
    ASSERT_TRUE(open_link());
    ASSERT_EQ(send(9, XFER_EXCHANGE, 1), 0);
    ASSERT_EQ(send(9, XFER_WRITE, 0, app), 0);
    commit = {1};
    ASSERT_EQ(send(9, XFER_EXCHANGE, 2, commit), 0);
    EXPECT_EQ(sim->mcu_app(), app);
}

TEST_F(board_test, writes_past_the_end_of_a_flash_are_refused_with_a_failed_answer)
{
    std::vector<uint8_t> low = {0};
    ASSERT_EQ(send(33, XFER_WRITE, 2, low), 0);
    ASSERT_EQ(send(32, XFER_EXCHANGE, 0), 0);
    const uint32_t fpga_end = 16u * 1024 * 1024, app_end = 1024u * 1024;
    std::vector<uint8_t> chunk(1024, 0x5A);
    ASSERT_EQ(send(32, XFER_WRITE, fpga_end - 1024, chunk), 0) << "the last chunk fits";
    EXPECT_NE(send(32, XFER_WRITE, fpga_end - 512, chunk), 0) << "a chunk that straddles the end";
    EXPECT_NE(send(32, XFER_WRITE, fpga_end, chunk), 0);
    EXPECT_EQ(sim->fpga_image().size(), fpga_end);
    EXPECT_EQ(read(19, 3, 1).size(), 1u) << "the link stays up after a refusal";

    link.eth_device_close();
    cfg.id.fw_major = 0;
    start_board();
    ASSERT_TRUE(open_link());
    ASSERT_EQ(send(9, XFER_EXCHANGE, 1), 0);
    ASSERT_EQ(send(9, XFER_WRITE, app_end - 1024, chunk), 0);
    EXPECT_NE(send(9, XFER_WRITE, app_end - 4, chunk), 0) << "the application is not cut at 1 MiB";
    std::vector<uint8_t> commit = {1};
    ASSERT_EQ(send(9, XFER_EXCHANGE, 2, commit), 0);
    EXPECT_EQ(sim->mcu_app().size(), app_end);
}

TEST_F(board_test, sd_card_files_checksums_and_staged_update)
{
    std::vector<uint8_t> data = bytes("abc");
    data.push_back(0);  // hosts pad to a multiple of 4
    sd_write("dir/abc.bin", data);
    EXPECT_EQ(file_bytes(sim->sd_path("dir/abc.bin")), data);

    auto n = sd_name("dir/abc.bin");
    ASSERT_EQ(send(21, XFER_EXCHANGE, 128, n), 0);
    EXPECT_EQ(u32(n, 0), 4u);
    n = sd_name("dir/abc.bin");
    ASSERT_EQ(send(21, XFER_EXCHANGE, 512, n), 0);
    EXPECT_EQ(u32(n, 0), 0x8619B74Cu);  // the file checksum of "abc"
    EXPECT_EQ(std::vector<uint8_t>(n.begin() + 4, n.begin() + 32), std::vector<uint8_t>(28, 0));
    n = sd_name("missing.nc");
    ASSERT_EQ(send(21, XFER_EXCHANGE, 128, n), 0);
    EXPECT_EQ(u32(n, 0), 0xFFFFFFFFu);

    // The host's checksum is verified against the open file.
    n = sd_name("dir/abc.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 2, n), 0);
    std::vector<uint8_t> wrong(32, 0), right(32, 0);
    wrong[0] = 1;
    right[0] = 0x4C, right[1] = 0xB7, right[2] = 0x19, right[3] = 0x86;
    ASSERT_EQ(send(21, XFER_WRITE, 256, wrong), 0);
    ASSERT_EQ(send(21, XFER_WRITE, 256, right), 0);
    EXPECT_EQ(read(20, 0, 1024), data);
    EXPECT_EQ(sim->stats().checksum_ok, 1u);
    EXPECT_EQ(sim->stats().checksum_failed, 1u);

    // A staged update runs from the file closed last; progress climbs to its size.
    sd_write("spindle.bin", std::vector<uint8_t>(40000, 1));
    ASSERT_EQ(send(9, XFER_EXCHANGE, 6), 0);
    EXPECT_TRUE(wait_for([&] { return u32(read(9, 8, 4), 0) == 40000; }));

    n = sd_name("dir/abc.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 8, n), 0);
    EXPECT_TRUE(file_bytes(sim->sd_path("dir/abc.bin")).empty());
    ASSERT_EQ(send(21, XFER_EXCHANGE, 2048), 0);
    EXPECT_TRUE(file_bytes(sim->sd_path("spindle.bin")).empty());
}

TEST_F(board_test, sd_file_kept_open_follows_hang_ups_erases_and_stops)
{
    std::vector<uint8_t> first(8192), second(8192);
    for (size_t i = 0; i < first.size(); ++i) first[i] = uint8_t(i * 7), second[i] = uint8_t(i * 13 + 1);
    auto n = sd_name("keep/big.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 1, n), 0);
    ASSERT_EQ(send(20, XFER_WRITE, 0, first), 0);

    // The open file carries on over a new connection.
    link.eth_device_close();
    ASSERT_TRUE(open_link());
    auto copy = second;
    ASSERT_EQ(send(20, XFER_WRITE, 8192, copy), 0);
    EXPECT_EQ(read(20, 8190, 4), (std::vector<uint8_t>{first[8190], first[8191], second[0], second[1]}));
    n = sd_name("keep/big.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 4, n), 0);
    auto whole = first;
    whole.insert(whole.end(), second.begin(), second.end());
    EXPECT_EQ(file_bytes(sim->sd_path("keep/big.bin")), whole);

    // Erased under another spelling of its name while open: the next write
    // makes the file again instead of going to the removed one.
    n = sd_name("keep/big.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 2, n), 0);
    EXPECT_EQ(read(20, 0, 2), (std::vector<uint8_t>{first[0], first[1]}));
    n = sd_name("keep//big.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 8, n), 0);
    std::vector<uint8_t> fresh = bytes("new!");
    ASSERT_EQ(send(20, XFER_WRITE, 0, fresh), 0);
    EXPECT_EQ(file_bytes(sim->sd_path("keep/big.bin")), bytes("new!"));

    // Data written to a file the host never closed is there after a restart.
    n = sd_name("keep/late.bin");
    ASSERT_EQ(send(21, XFER_WRITE, 1, n), 0);
    copy = first;
    ASSERT_EQ(send(20, XFER_WRITE, 0, copy), 0);
    link.eth_device_close();
    start_board();
    EXPECT_EQ(file_bytes(sim->sd_path("keep/late.bin")), first);
}

// Frames sent back to back without waiting, far more than the board's
// receive buffer holds, with stray bytes between them: each is answered
// once and lands at its offset.
TEST_F(board_test, a_burst_of_frames_with_stray_bytes_is_taken_whole)
{
    link.eth_device_close();
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(cfg.tcp_port);
    ASSERT_EQ(inet_pton(AF_INET, address.c_str(), &a.sin_addr), 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    auto frame = [](uint8_t cmd, uint32_t arg, const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> f(32 + payload.size(), 0);
        f[0] = 0xA5, f[1] = 0x5A, f[2] = cmd, f[4] = XFER_WRITE, f[6] = f[7] = 0xFF;
        uint32_t no_crc = 0xFFFFFFFFu, len = uint32_t(payload.size());
        std::memcpy(&f[8], &arg, 4);
        std::memcpy(&f[12], &no_crc, 4);
        std::memcpy(&f[28], &len, 4);
        std::copy(payload.begin(), payload.end(), f.begin() + 32);
        return f;
    };
    constexpr int chunks = 24;
    constexpr size_t chunk = 8192;
    std::vector<uint8_t> expected, stream = frame(21, 1, sd_name("burst.bin"));
    for (int i = 0; i < chunks; ++i) {
        std::vector<uint8_t> data(chunk, uint8_t(i + 1));
        expected.insert(expected.end(), data.begin(), data.end());
        if (i % 5 == 2) stream.insert(stream.end(), {0x00, 0x11, 0xA5});  // no magic in them
        auto f = frame(20, uint32_t(i * chunk), data);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    auto close_frame = frame(21, 4, sd_name("burst.bin"));
    stream.insert(stream.end(), close_frame.begin(), close_frame.end());
    ASSERT_EQ(::send(fd, stream.data(), stream.size(), MSG_NOSIGNAL), ssize_t(stream.size()));

    // Every reply is a bare 32-byte header echoing command and argument.
    std::vector<uint8_t> replies;
    const size_t want = size_t(chunks + 2) * 32;
    while (replies.size() < want) {
        uint8_t buf[4096];
        ssize_t got = ::recv(fd, buf, sizeof buf, 0);
        if (got <= 0) break;
        replies.insert(replies.end(), buf, buf + got);
    }
    ::close(fd);
    ASSERT_EQ(replies.size(), want);
    for (int i = 0; i < chunks; ++i) {
        const uint8_t* r = &replies[size_t(i + 1) * 32];
        uint32_t arg = 0;
        std::memcpy(&arg, r + 8, 4);
        EXPECT_EQ(r[2], 20);
        EXPECT_EQ(arg, uint32_t(i * chunk));
    }
    EXPECT_EQ(file_bytes(sim->sd_path("burst.bin")), expected);
}

TEST_F(board_test, nc_job_runs_line_by_line_and_reset_leaves_it_resumable)
{
    std::string prog = "(NFL4)\r\nG1 X10 Y5 F1000\r\nG1 Z-2\r\nG38.2 Z-5\r\nG0 X1\r\n";
    std::vector<uint8_t> file = bytes(prog);
    file.resize((file.size() + 3) / 4 * 4, 0);
    std::vector<uint8_t> start(8, 0);
    auto name = bytes("job_N.nc");
    start.insert(start.end(), name.begin(), name.end());
    start.push_back(0);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 1, start), 0);
    ASSERT_EQ(send(49, XFER_WRITE, 0, file), 0);

    auto st = status();
    EXPECT_EQ(u32(st, 256), file.size());  // download_bytes
    EXPECT_EQ(std::string(st.begin() + 120, st.begin() + 128), "job_N.nc");
    EXPECT_EQ(st[248], 8);
    ASSERT_TRUE(wait_for([&] { return !sim->machine().job_active; }));
    st = status();
    EXPECT_EQ(u32(st, 12), 4u);  // run_line
    EXPECT_EQ(u32(st, 4), 4u);   // parse_line
    EXPECT_FLOAT_EQ(f32(st, 48), 1.0f);
    EXPECT_FLOAT_EQ(f32(st, 48 + 8), -5.0f);
    std::string res = results();
    EXPECT_NE(res.find("\"PRB\":{\"PRBX\":10.000,\"PRBY\":5.000,\"PRBZ\":-5.000"), std::string::npos) << res;

    // A long job interrupted by a reset stays resumable from its line. It
    // gets a name of its own: a job runs whatever copy the card holds under
    // its name until new data replaces it (hosts erase a differing copy
    // before the start), and a late download would leave the 4-line program
    // running in its place.
    std::string longer = "(NFL200)\r\n";
    for (int i = 0; i < 200; ++i) longer += "G1 X" + std::to_string(i % 50) + "\r\n";
    file = bytes(longer);
    start.resize(8);
    auto long_name = bytes("long_N.nc");
    start.insert(start.end(), long_name.begin(), long_name.end());
    start.push_back(0);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 1, start), 0);
    ASSERT_EQ(send(49, XFER_WRITE, 0, file), 0);
    ASSERT_TRUE(wait_for([&] { return sim->machine().run_line >= 5; }));
    ASSERT_EQ(send(48, XFER_EXCHANGE, 6), 0);  // stop
    st = status();
    EXPECT_TRUE(u32(st, 44) & 0x8) << "paused bit";
    uint32_t held = u32(st, 12);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(u32(status(), 12), held);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 7), 0);  // continue
    ASSERT_TRUE(wait_for([&] { return sim->machine().run_line > held; }));
    ASSERT_EQ(send(48, XFER_EXCHANGE, 14), 0);  // reset
    st = status();
    EXPECT_EQ(st[260], 1);
    EXPECT_GT(u32(st, 12), held);
    EXPECT_EQ(u32(st, 44) & 0x2, 0u) << "no longer running";
}

TEST_F(board_test, interpreter_alarms_colour_slots_and_tools)
{
    ASSERT_EQ(line("g28.2 x0 y0 z0 a0 b0 u0 v0 w0"), 0);
    EXPECT_TRUE(u32(status(), 44) & 0x10) << "homing bit";
    ASSERT_EQ(line("G91"), 0);
    ASSERT_EQ(line("G1 x4 F1000"), 0);
    ASSERT_EQ(line("G1 x4 F1000"), 0);
    EXPECT_FLOAT_EQ(sim->machine().machine_pos[0], 8.0f);
    ASSERT_EQ(line("$cr2=63488"), 0);
    EXPECT_EQ(sim->peripheral_state().colour_slots[2], 63488);
    ASSERT_EQ(line("T5 Q6 m6"), 0);
    auto st = status();
    EXPECT_EQ(st[40], 5);
    EXPECT_EQ(st[41], 6);
    results();

    ASSERT_EQ(line("G1 Y5000"), 0);  // beyond the travel range
    st = status();
    EXPECT_EQ(st[250], 2);                 // alarm code
    EXPECT_EQ(st[264], 0x2);               // Y limit
    ASSERT_EQ(line("G1 X1"), 0);
    EXPECT_FLOAT_EQ(sim->machine().machine_pos[0], 8.0f) << "no motion while alarmed";
    std::string res = results();
    EXPECT_NE(res.find("\"err\""), std::string::npos) << res;
    ASSERT_EQ(send(48, XFER_EXCHANGE, 14), 0);
    EXPECT_EQ(status()[250], 0);
    ASSERT_EQ(line("G1 X1"), 0);
    EXPECT_FLOAT_EQ(sim->machine().machine_pos[0], 9.0f);
}

TEST_F(board_test, nc_job_waits_for_its_first_data_past_the_quiet_time)
{
    std::vector<uint8_t> start(8, 0);
    auto name = bytes("late_N.nc");
    start.insert(start.end(), name.begin(), name.end());
    start.push_back(0);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 1, start), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a slow host
    EXPECT_TRUE(sim->machine().job_active);
    auto file = bytes("(NFL2)\r\nG1 X1\r\nG1 X2\r\n");
    ASSERT_EQ(send(49, XFER_WRITE, 0, file), 0);
    ASSERT_TRUE(wait_for([&] { return !sim->machine().job_active; }));
    EXPECT_EQ(sim->machine().run_line, 2u);
}

TEST_F(board_test, status_overrides_cover_the_machine_until_cleared)
{
    sim->override_status(44, {0x03, 0, 0, 0});  // run state
    sim->override_status(270, {7, 8, 9});        // runs past the block's end
    auto st = status();
    ASSERT_EQ(st.size(), 272u);
    EXPECT_EQ(u32(st, 44), 0x3u);
    EXPECT_EQ(st[270], 7);
    EXPECT_EQ(st[271], 8);
    EXPECT_EQ(sim->machine().run_state, 0u) << "the machine itself is idle";
    sim->clear_status_overrides();
    EXPECT_EQ(u32(status(), 44), 0u);
}

TEST_F(board_test, result_text_continues_across_exactly_full_reads)
{
    // A colour slot line long enough that the JSON passes 1400 bytes.
    std::string pad(1500, ' ');
    ASSERT_EQ(line("G0 X1" + pad), 0);
    std::string res = results();
    EXPECT_GT(res.size(), 1400u);
    EXPECT_EQ(res.front(), '{');
    EXPECT_EQ(res.back(), '}');
    EXPECT_EQ(results(), "") << "read once, then gone";
}

TEST_F(board_test, parameters_blocks_user_data_and_material_changer)
{
    std::vector<uint8_t> table(12);
    float v[3] = {1.5f, 0.0f, 20.0f};
    std::memcpy(table.data(), v, 12);
    ASSERT_EQ(send(48, XFER_WRITE, 8, table), 0);
    std::vector<uint8_t> block1 = {1};
    ASSERT_EQ(send(48, XFER_WRITE, 10, block1), 0);
    std::vector<uint8_t> other(4, 0);
    ASSERT_EQ(send(48, XFER_WRITE, 8, other), 0);
    EXPECT_EQ(read(48, 9, 2048).size(), 4u);
    ASSERT_EQ(send(48, XFER_WRITE, 11, block1), 0);
    EXPECT_EQ(read(48, 9, 2048), table);

    auto id = bytes("MACHINE-7");
    ASSERT_EQ(send(50, XFER_WRITE, 0, id), 0);
    EXPECT_EQ(read(50, 0, 9), id);

    std::vector<uint8_t> change = {0, 1, 0, 0, 2, 5, 0, 0}, home = {0, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(send(48, XFER_WRITE, 17, change), 0);
    EXPECT_EQ(sim->stats().refused, 1u) << "a pad change needs homing first";
    ASSERT_EQ(send(48, XFER_WRITE, 17, home), 0);
    change = {0, 1, 0, 0, 2, 5, 0, 0};
    ASSERT_EQ(send(48, XFER_WRITE, 17, change), 0);
    std::vector<uint8_t> point = {0, 2, 0, 0, 0, 0, 0, 0}, version = {0, 6, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(send(48, XFER_EXCHANGE, 17, point), 0);
    EXPECT_EQ(u32(point, 4), 5u);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 17, version), 0);
    EXPECT_EQ(u32(version, 4), sim->ident().drive_version);
    std::vector<uint8_t> log(4096, 0);
    log[1] = 4;
    ASSERT_EQ(send(48, XFER_EXCHANGE, 17, log), 0);
    EXPECT_NE(std::string(log.begin() + 4, log.end()).find("change pad 2 -> 5"), std::string::npos);
}

}  // namespace
