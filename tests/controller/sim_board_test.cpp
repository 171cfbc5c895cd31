// The library against the simulated board, in process on a loopback address
// of the test's own.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "board_sim.h"
#include "support.h"
#include "vesk.h"
#include "vesk_testing.h"

namespace fs = std::filesystem;

namespace {

class sim_board : public ::testing::Test {
protected:
    void SetUp() override
    {
        address = unique_loopback_address();
        bsim::config cfg;
        cfg.tcp_addr = address;
        cfg.discovery = false;
        sim = std::make_unique<bsim::board>(cfg);
        std::string why;
        ASSERT_TRUE(sim->start(&why)) << why;
        dev = cnc_dev_register();
        ASSERT_NE(dev, nullptr);
        ASSERT_TRUE(open_link_to(dev, address));
        traces.clear();
    }
    void TearDown() override
    {
        if (dev) {
            dev->cnc_close_dev();
            ::operator delete(static_cast<void*>(dev));  // the library never frees it
        }
        sim.reset();
        vesk_test_clear_servers();
    }
    // Reads the whole pending result text.
    std::string results()
    {
        std::vector<uint8_t> buf(10240);
        uint16_t len = 0;
        EXPECT_EQ(dev->cnc_get_results(buf.data(), uint16_t(buf.size()), &len), 0);
        return std::string(buf.begin(), buf.begin() + len);
    }

    std::string address;
    std::unique_ptr<bsim::board> sim;
    pelk_cnc* dev = nullptr;
    trace_capture traces;
};

TEST_F(sim_board, status_record_matches_the_board)
{
    // Work offset so that work and machine positions differ, inputs that
    // tell door and air pressure apart, and a job with a name.
    ASSERT_EQ(dev->cnc_parser("G92 X10 Y-5"), 0);
    ASSERT_EQ(dev->cnc_parser("G91 G0 X2.5 Z-1"), 0);
    sim->set_inputs(/*door=*/1, /*air_pressure=*/0, /*drawer=*/7);
    ASSERT_EQ(dev->cnc_close_dev(), 0);
    {
        vesk raw;
        ASSERT_EQ(raw.eth_device_open(0, nullptr, nullptr), 0);
        unsigned char start[256] = {};
        const char name[] = "part_N.nc";
        std::memcpy(start + 8, name, sizeof name);
        ASSERT_EQ(raw.eth_send_cmd(48, XFER_EXCHANGE, 1, start, 9 + 9, nullptr), 0);
        raw.eth_device_close();
    }
    ASSERT_EQ(dev->cnc_open_dev_index(0, nullptr, nullptr), 0);

    cnc_status st;
    std::memset(&st, 0, sizeof st);
    ASSERT_EQ(dev->cnc_get_status(&st), 0);
    auto view = sim->machine();
    for (int i = 0; i < 9; ++i) {
        EXPECT_FLOAT_EQ(st.machine_pos[i], view.machine_pos[i]) << i;
        EXPECT_FLOAT_EQ(st.work_pos[i], view.work_pos[i]) << i;
    }
    EXPECT_FLOAT_EQ(st.machine_pos[0], 2.5f);
    EXPECT_FLOAT_EQ(st.work_pos[0], 12.5f);
    EXPECT_FLOAT_EQ(st.work_pos[1], -5.0f);
    EXPECT_EQ(st.door, 1);
    EXPECT_EQ(st.air_pressure, 0);
    EXPECT_EQ(st.drawer, 7);
    EXPECT_EQ(std::string(st.job_name), "part_N.nc");
    // Every other field as the board's own block says.
    auto block = sim->status_block();
    EXPECT_EQ(st.status_word, get_le32(&block[0]));
    EXPECT_EQ(st.parse_line, get_le32(&block[4]));
    EXPECT_EQ(st.run_line, get_le32(&block[12]));
    EXPECT_EQ(st.alarm_code, block[250] | block[251] << 8);
    EXPECT_EQ(st.aux_byte, block[252]);
    EXPECT_EQ(st.limit_state, block[264] | block[265] << 8);
}

TEST_F(sim_board, result_texts_of_one_and_of_several_chunks)
{
    results();  // start from an empty text
    // The board answers a "$" line it does not know with
    // {"line":"<line>","err":"unknown setting <line>"}: 36 bytes plus the
    // line twice, each tab written as a six-byte escape.
    ASSERT_EQ(dev->cnc_parser(("$" + std::string(681, 'z')).c_str()), 0);
    traces.clear();
    std::string text = results();
    EXPECT_EQ(text.size(), 1400u);
    EXPECT_EQ(text.substr(0, 10), "{\"line\":\"$");
    EXPECT_EQ(text.back(), '}');
    EXPECT_EQ(traces.lines(), std::vector<std::string>{"[result]:get 0 bytes.\n"});

    ASSERT_EQ(dev->cnc_parser(("$" + std::string(246, '\t') + "zzzzz").c_str()), 0);
    traces.clear();
    text = results();
    EXPECT_EQ(text.size(), 3000u);
    EXPECT_EQ(text.back(), '}');
    EXPECT_EQ(traces.lines(), std::vector<std::string>{"[result]:get 200 bytes.\n"});
}

TEST_F(sim_board, parameter_file_round_trip)
{
    auto old_dir = fs::current_path();
    auto dir = fs::temp_directory_path() / ("pelk_sim_param_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    std::ofstream("param.txt", std::ios::binary) << "1.5\nabc\n\n";
    EXPECT_EQ(dev->cnc_write_param(), 0);
    auto params = sim->params();
    ASSERT_GE(params.size(), 3u);
    EXPECT_FLOAT_EQ(params[0], 1.5f);
    EXPECT_FLOAT_EQ(params[1], 0.0f);
    EXPECT_FLOAT_EQ(params[2], 0.0f);

    fs::remove("param.txt");
    EXPECT_EQ(dev->cnc_read_param(), 0);
    std::stringstream ss;
    ss << std::ifstream("param.txt", std::ios::binary).rdbuf();
    std::string expected;
    for (float v : params) {
        char line[64];
        std::snprintf(line, sizeof line, "%f\n", double(v));
        expected += line;
    }
    EXPECT_EQ(ss.str().substr(0, 27), "1.500000\n0.000000\n0.000000\n");
    EXPECT_EQ(ss.str(), expected);
    fs::current_path(old_dir);
    fs::remove_all(dir);

    // Flash blocks: store, change the table, load the stored one back.
    uint8_t table[8];
    std::memcpy(table, le_float(4.0f).data(), 4);
    std::memcpy(table + 4, le_float(8.0f).data(), 4);
    ASSERT_EQ(dev->cnc_write_param_from_buffer(table, sizeof table), 0);
    ASSERT_EQ(dev->cnc_save_param(1), 0);
    uint8_t other[4];
    std::memcpy(other, le_float(-1.0f).data(), 4);
    ASSERT_EQ(dev->cnc_write_param_from_buffer(other, sizeof other), 0);
    ASSERT_EQ(dev->cnc_load_param(1), 0);
    uint8_t back[2048] = {};
    int n = dev->cnc_read_param_to_buffer(back, sizeof back);
    ASSERT_GE(n, 2);
    EXPECT_FLOAT_EQ(get_le_float(back), 4.0f);
    EXPECT_FLOAT_EQ(get_le_float(back + 4), 8.0f);
}

TEST_F(sim_board, user_data_read_modify_write)
{
    uint8_t area[32] = {};
    ASSERT_EQ(dev->cnc_read_user_data(area, 64, sizeof area), 0);
    std::memcpy(area + 4, "CNC-0042", 8);
    ASSERT_EQ(dev->cnc_write_user_data(area, 64, sizeof area), 0);
    uint8_t back[32] = {};
    ASSERT_EQ(dev->cnc_read_user_data(back, 64, sizeof back), 0);
    EXPECT_EQ(std::memcmp(back, area, sizeof area), 0);
    auto stored = sim->user_data(64, 32);
    EXPECT_EQ(std::vector<uint8_t>(area, area + 32), stored);
    EXPECT_EQ(traces.lines()[1], "cnc write user data from 64 - 32 bytes.\n");
}

TEST_F(sim_board, every_material_changer_request)
{
    ASSERT_EQ(dev->cnc_ar_home(), 0);
    ASSERT_EQ(dev->cnc_ar_cylinder(true), 0);
    EXPECT_TRUE(sim->machine().ar_cylinder_open);
    ASSERT_EQ(dev->cnc_ar_cylinder(false), 0);
    EXPECT_FALSE(sim->machine().ar_cylinder_open);
    ASSERT_EQ(dev->cnc_ar_change_pad(2, 5), 0);
    uint32_t point = 0xFFFFFFFF;
    ASSERT_EQ(dev->cnc_ar_get_point(&point), 0);
    EXPECT_EQ(point, sim->machine().ar_point);
    int32_t version = 0;
    ASSERT_EQ(dev->cnc_ar_get_version(&version), 0);
    EXPECT_EQ(uint32_t(version), sim->ident().drive_version);
    std::vector<char> log(5000, '#');
    ASSERT_EQ(dev->cnc_ar_get_log(log.data(), 5000), 0);
    EXPECT_EQ(log[4000], '#');

    char hex[64];
    std::snprintf(hex, sizeof hex, "cnc ar0 get ponit 0x%x.\n", point);
    EXPECT_EQ(traces.lines(),
              (std::vector<std::string>{"cnc ar0 home.\n", "cnc ar0 open cylinder.\n", "cnc ar0 close cylinder.\n",
                                        "cnc ar0 change pad from 2 to 5.\n", hex, "cnc ar0 get version.\n",
                                        "cnc ar0 get log message.\n"}));
}

TEST_F(sim_board, machine_control_and_outputs_reach_the_board)
{
    ASSERT_EQ(dev->cnc_parser("G0 X3 Y4"), 0);
    ASSERT_EQ(dev->cnc_dev_home(), 0);
    auto view = sim->machine();
    for (float p : view.machine_pos) EXPECT_FLOAT_EQ(p, 0.0f);
    EXPECT_EQ(dev->cnc_dev_stop(), 0);
    EXPECT_EQ(dev->cnc_dev_continue(), 0);
    EXPECT_EQ(dev->cnc_dev_reset(), 0);
    ASSERT_EQ(dev->cnc_rgb_set_state(2, 1, 700), 0);

    ASSERT_EQ(mcu_bsp_led_rgb(150, 50, 101), 0);
    ASSERT_EQ(mcu_bsp_rgb_fh(0x1234), 0);
    ASSERT_EQ(mcu_bsp_rgb_progress(100), 0);
    unsigned short colors[2] = {0x0F0F, 0xF0F0};
    ASSERT_EQ(mcu_bsp_rgb_led(46, 2, colors), 0);
    ASSERT_EQ(mcu_bsp_cnc_output_tool_switch(TOOL_SWITCH_1, true), 0);
    ASSERT_EQ(mcu_bsp_cnc_output_dust_switch(true), 0);
    ASSERT_EQ(mcu_bsp_cnc_calib(), 0);
    auto per = sim->peripheral_state();
    EXPECT_EQ(per.status_led, (std::array<uint8_t, 3>{100, 50, 100}));
    EXPECT_EQ(per.rgb_fh, 0x1234);
    EXPECT_EQ(per.rgb_progress, 100);
    EXPECT_EQ(per.strip[47], 0xF0F0);
    EXPECT_EQ(per.tool_switch[1], 1);
    EXPECT_EQ(per.dust, 1);
    EXPECT_EQ(per.calibrations, 1u);
    EXPECT_EQ(per.led_state[2], 1);
    EXPECT_EQ(per.led_value[2], 700u);

    unsigned char id[12];
    ASSERT_EQ(mcu_bsp_get_mcu_id(id, sizeof id), 0);
    auto ident = sim->ident();
    EXPECT_EQ(std::memcmp(id, ident.board_id.data(), 12), 0);
    unsigned version = 0;
    ASSERT_EQ(mcu_bsp_get_version(&version), 0);
    EXPECT_EQ(version, unsigned(ident.product) << 24 | unsigned(ident.variant) << 16 |
                           unsigned(ident.fw_major) << 8 | ident.fw_minor);
}

}  // namespace

namespace {
int count_close(void* ctx, int)
{
    ++*static_cast<std::atomic<int>*>(ctx);
    return 0;
}
}  // namespace

// Reply deadlines per command: an SD card erase answered after more than the
// short deadline still succeeds; a status read the board never answers loses
// the link within seconds, with one close callback.
TEST_F(sim_board, a_muted_status_read_loses_the_link_within_its_deadline)
{
    std::atomic<int> closes{0};
    ASSERT_EQ(dev->cnc_close_dev(), 0);
    ASSERT_EQ(dev->cnc_open_dev_index(0, count_close, &closes), 0);

    sim->arm_fault(bsim::fault_kind::late, 21, 0, 3500);
    _flash_msg erase;
    std::memset(&erase, 0, sizeof erase);
    erase.target = FLASH_TARGET_SDCARD;
    erase.op = 6;
    std::snprintf(erase.file_name, sizeof erase.file_name, "old.nc");
    EXPECT_EQ(mcu_bsp_sdcard(&erase), 0);
    EXPECT_EQ(closes, 0);

    sim->arm_fault(bsim::fault_kind::mute, 48);
    cnc_status st;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev->cnc_get_status(&st), PELK_ERR_COMMAND);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 8.0);
    EXPECT_TRUE(traces.contains("recv timeout.\n"));
    // The close comes on the link's own thread; bounded only against one that never comes.
    for (int i = 0; i < 6000 && closes == 0; ++i) usleep(5000);
    usleep(50000);  // no second close follows
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(dev->cnc_dev_state());
}
