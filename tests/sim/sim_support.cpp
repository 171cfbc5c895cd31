#include "sim_support.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "vesk_testing.h"

namespace fs = std::filesystem;

std::string sim_loopback_address()
{
    static std::atomic<int> counter{0};
    unsigned pid = unsigned(::getpid());
    int n = counter++;
    return "127." + std::to_string(200 + pid % 50) + "." + std::to_string((pid / 50) % 256) + "." +
           std::to_string(1 + n % 250);
}

temp_dir::temp_dir()
{
    std::string t = (fs::temp_directory_path() / "bsim_test.XXXXXX").string();
    if (::mkdtemp(t.data())) path = t;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
}

std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void sim_test::SetUp()
{
    address = sim_loopback_address();
    cfg.tcp_addr = address;
    cfg.discovery = false;
    cfg.state_dir = state.path + "/board";
    cfg.motion_ms = 50;
    cfg.line_rate = 200;
}

void sim_test::TearDown()
{
    link.eth_device_close();
    sim.reset();
    vesk_test_clear_servers();
}

void sim_test::start_board()
{
    if (sim) sim->stop();
    sim = std::make_unique<bsim::board>(cfg);
    std::string why;
    ASSERT_TRUE(sim->start(&why)) << why;
}

bool sim_test::open_link()
{
    vesk_test_clear_servers();
    vesk_test_seed_server(0, address.c_str(), "SIMTESTBOARD");
    return link.eth_device_open(0, close_count::callback, &closes) == 0;
}

int sim_test::send(uint8_t cmd, uint8_t type, uint32_t arg, std::vector<uint8_t>& data, unsigned short* got)
{
    return link.eth_send_cmd(cmd, type, arg, data.empty() ? nullptr : data.data(), (unsigned short)data.size(), got);
}

std::vector<uint8_t> sim_test::read(uint8_t cmd, uint32_t arg, unsigned short len)
{
    std::vector<uint8_t> buf(len);
    unsigned short got = 0;
    int r = link.eth_send_cmd(cmd, XFER_READ, arg, buf.data(), len, &got);
    EXPECT_EQ(r, 0) << "read of command " << int(cmd) << " arg " << arg;
    buf.resize(got);
    return buf;
}

std::vector<uint8_t> sim_test::status() { return read(48, 5, 272); }

int sim_test::line(const std::string& text)
{
    std::vector<uint8_t> v(text.begin(), text.end());
    v.push_back('\n');
    return send(48, XFER_EXCHANGE, 3, v);
}

std::string sim_test::results()
{
    std::string all;
    for (;;) {
        auto chunk = read(48, 4, 1400);
        all.append(chunk.begin(), chunk.end());
        if (chunk.size() < 1400) return all;
    }
}

void sim_test::start_job(const std::string& name, const std::string& program)
{
    size_t lines = size_t(std::count(program.begin(), program.end(), '\n'));
    if (!program.empty() && program.back() != '\n') ++lines;
    std::string file = "(NFL" + std::to_string(lines) + ")\r\n" + program;
    std::vector<uint8_t> start(8, 0);
    start.insert(start.end(), name.begin(), name.end());
    start.push_back(0);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 1, start), 0);
    for (size_t off = 0; off < file.size(); off += 8192) {
        std::vector<uint8_t> chunk(file.begin() + long(off), file.begin() + long(std::min(off + 8192, file.size())));
        ASSERT_EQ(send(49, XFER_WRITE, uint32_t(off), chunk), 0);
    }
}

bool sim_test::wait_for(const std::function<bool()>& pred, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

