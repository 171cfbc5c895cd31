// Parameters, user data, AR material changer and LED state against a
// scripted board. Each test works in a fresh directory of its own because
// the parameter file lives in the working directory.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support.h"

namespace fs = std::filesystem;

namespace {

using bytes = std::vector<unsigned char>;

class in_scratch_dir : public board_test {
protected:
    void SetUp() override
    {
        old_dir = fs::current_path();
        dir = fs::temp_directory_path() / ("pelk_param_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        board_test::SetUp();
    }
    void TearDown() override
    {
        board_test::TearDown();
        fs::current_path(old_dir);
        fs::remove_all(dir);
    }
    static void write_file(const std::string& text)
    {
        std::ofstream("param.txt", std::ios::binary) << text;
    }
    static std::string read_file()
    {
        std::ifstream in("param.txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path old_dir, dir;
};

using parameters = in_scratch_dir;

bytes floats(std::initializer_list<float> values)
{
    bytes out;
    for (float v : values) {
        bytes b = le_float(v);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST_F(parameters, file_values_are_parsed_with_atof)
{
    write_file("1.5\nabc\n\n");
    ASSERT_EQ(dev->cnc_write_param(), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].cmd, 48);
    EXPECT_EQ(f[0].type, 4);
    EXPECT_EQ(f[0].arg, 8u);
    EXPECT_EQ(f[0].payload(), floats({1.5f, 0.0f, 0.0f}));
    EXPECT_EQ(traces.lines(), std::vector<std::string>{"cnc write param.\n"});
}

TEST_F(parameters, long_lines_and_too_many_values)
{
    // A 200-byte line is read as two pieces, each a value.
    write_file(std::string(199, '7') + "\n");
    ASSERT_EQ(dev->cnc_write_param(), 0);
    EXPECT_EQ(board->commands().at(0).data_len, 8u);

    board->clear();
    traces.clear();
    std::string text;
    for (int i = 0; i < 600; ++i) text += std::to_string(i) + "\n";
    write_file(text);
    ASSERT_EQ(dev->cnc_write_param(), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    ASSERT_EQ(f[0].data_len, 2048u);
    EXPECT_FLOAT_EQ(get_le_float(f[0].payload().data() + 4 * 511), 511.0f);
    EXPECT_EQ(traces.lines(),
              (std::vector<std::string>{"cnc write param.\n",
                                        "cnc write param:param.txt holds more than 512 values, only the first "
                                        "512 are sent.\n"}));
}

TEST_F(parameters, missing_file_gives_minus_1_and_sends_nothing)
{
    EXPECT_EQ(dev->cnc_write_param(), -1);
    EXPECT_TRUE(board->commands().empty());
    EXPECT_EQ(traces.lines(), std::vector<std::string>{"cnc write param.\n"});
}

TEST_F(parameters, failed_table_read_leaves_the_file_alone)
{
    write_file("keep\n");
    board->reject_when([](const request_frame&) { return true; });
    EXPECT_EQ(dev->cnc_read_param(), -4);
    EXPECT_EQ(read_file(), "keep\n");
}

TEST_F(parameters, buffers_and_flash_blocks)
{
    bytes ten(10, 1);
    board->set_answer([&ten](const request_frame& f) { return f.arg == 9 ? ten : default_answer(f); });
    uint8_t buf[64] = {};
    EXPECT_EQ(dev->cnc_read_param_to_buffer(buf, sizeof buf), 2);
    uint8_t values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(dev->cnc_write_param_from_buffer(values, sizeof values), 0);
    EXPECT_EQ(dev->cnc_save_param(258), 0);
    EXPECT_EQ(dev->cnc_load_param(1), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].data_len, 64u);
    EXPECT_EQ(f[1].arg, 8u);
    EXPECT_EQ(f[1].payload(), bytes(values, values + 8));
    EXPECT_EQ(f[2].arg, 10u);
    EXPECT_EQ(f[2].payload(), bytes{2});
    EXPECT_EQ(f[3].arg, 11u);
    EXPECT_EQ(f[3].payload(), bytes{1});
    EXPECT_EQ(traces.lines(), (std::vector<std::string>{"cnc read param to buffer.\n",
                                                       "cnc write param from buffer.\n", "cnc save param to 258.\n",
                                                       "cnc load param 1.\n"}));
}

class material_changer : public board_test {};

TEST_F(material_changer, requests_carry_unit_operation_and_parameter)
{
    ASSERT_EQ(dev->cnc_ar_change_pad(2, 5), 0);
    ASSERT_EQ(dev->cnc_ar_cylinder(true), 0);
    ASSERT_EQ(dev->cnc_ar_cylinder(false), 0);
    ASSERT_EQ(dev->cnc_ar_home(), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 4u);
    for (auto& r : f) {
        EXPECT_EQ(r.cmd, 48);
        EXPECT_EQ(r.type, 4);
        EXPECT_EQ(r.arg, 17u);
    }
    EXPECT_EQ(f[0].payload(), (bytes{0, 1, 0, 0, 0x02, 0x05, 0, 0}));
    EXPECT_EQ(f[1].payload(), (bytes{0, 0, 0, 0, 3, 0, 0, 0}));
    EXPECT_EQ(f[2].payload(), (bytes{0, 0, 0, 0, 4, 0, 0, 0}));
    EXPECT_EQ(f[3].payload(), (bytes{0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(traces.lines(), (std::vector<std::string>{"cnc ar0 change pad from 2 to 5.\n",
                                                       "cnc ar0 open cylinder.\n", "cnc ar0 close cylinder.\n",
                                                       "cnc ar0 home.\n"}));
}

}  // namespace
