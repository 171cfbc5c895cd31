// The NC pipeline against the simulated board: the numbered copy, the
// comparison by checksum or size, the start block, the download and the
// removal of the copy, and a lost link at every step.
#include <filesystem>

#include "sim_fixture.h"
#include "vesk.h"

namespace fs = std::filesystem;

namespace {

const std::string three_lines = "G0 X1\nG1 Y2 F100\nM30\n";

class nc_pipeline : public sim_transfer {
protected:
    int start(const std::string& path, uint32_t line, uint8_t check)
    {
        return dev->cnc_start_nc_file(line, const_cast<char*>(path.c_str()), check);
    }
};

TEST_F(nc_pipeline, numbered_copy_arrives_and_is_removed)
{
    fs::create_directory("jobs");
    write_text("jobs/part.nc", three_lines);
    ASSERT_EQ(start(scratch.path() + "/jobs/part.nc", 2, 1), 0);

    const std::string expected = "(NFL3)\r\n" + three_lines;
    EXPECT_EQ(read_file(sim->sd_path("part_N.nc")), padded4(bytes(expected.begin(), expected.end())));
    EXPECT_EQ(sim->machine().job_name, "part_N.nc");
    EXPECT_FALSE(file_exists("part_N.nc"));
    EXPECT_TRUE(file_exists("jobs/part.nc"));

    std::vector<std::string> want = {
        "start parser file " + scratch.path() + "/jobs/part.nc from 2 lines\n",
        "start convert file\n",
        "new file name part_N.nc.\n",
        "start check file\n",
        "mcu_bsp_sdcard():get file checksum\n",
        "start cmp file checksum\n",
        "file not match.\n",
        "mcu_bsp_sdcard():erase file part_N.nc \n",
        "delete file.\n",
        "start write file\n",
        "mcu_update_flash():part_N.nc start\n",
        "mcu_update_flash():success,tansfer 32 bytes\n",
        "write file success.\n"};
    EXPECT_EQ(traces.lines(), want);

    // The same program again: the checksums match and nothing is downloaded.
    clear_sim_lines();
    traces.clear();
    ASSERT_EQ(start("jobs/part.nc", 0, 1), 0);
    EXPECT_EQ(replies_to(49), 0);
    EXPECT_EQ(replies_to(48), 1);
    EXPECT_TRUE(traces.contains("file match.\n"));
    EXPECT_FALSE(file_exists("part_N.nc"));
}

TEST_F(nc_pipeline, long_lines_and_odd_sources)
{
    // A 600-byte line counts as three pieces; the bytes go through unchanged.
    std::string text = std::string(600, 'x') + "\nM30";
    write_text("long.nc", text);
    ASSERT_EQ(start("long.nc", 0, 0), 0);
    std::string expected = "(NFL4)\r\n" + text;
    EXPECT_EQ(read_file(sim->sd_path("long_N.nc")), padded4(bytes(expected.begin(), expected.end())));

    // An empty source gives an empty numbered file, which cannot be sent.
    write_text("empty.nc", "");
    traces.clear();
    EXPECT_EQ(start("empty.nc", 0, 0), -1);
    EXPECT_TRUE(traces.contains("cnc_start_write_nc_file():write fail\n"));
    EXPECT_TRUE(read_file("empty_N.nc").empty());

    // A name without a dot: nothing is numbered and the bare base name is
    // the local file. In the working directory that is the source itself,
    // which is sent unnumbered and kept.
    write_text("nodot", three_lines);
    traces.clear();
    EXPECT_EQ(start("nodot", 0, 1), 0);
    EXPECT_TRUE(traces.contains("new file name nodot.\n"));
    EXPECT_EQ(read_file(sim->sd_path("nodot")), padded4(bytes(three_lines.begin(), three_lines.end())));
    EXPECT_TRUE(file_exists("nodot"));
    // From another folder there is no such local file to compare.
    fs::create_directory("jobs");
    write_text("jobs/other", three_lines);
    traces.clear();
    EXPECT_EQ(start("jobs/other", 0, 1), -1);
    EXPECT_TRUE(traces.contains("cnc_start_check_nc_file():check fail\n"));
}

TEST_F(nc_pipeline, numbered_source_is_sent_as_it_is_and_kept)
{
    write_text("ready_N.nc", "(NFL1)\r\nM30\n");
    ASSERT_EQ(start("ready_N.nc", 0, 1), 0);
    EXPECT_EQ(read_file(sim->sd_path("ready_N.nc")), read_file("ready_N.nc"));
    EXPECT_TRUE(file_exists("ready_N.nc"));
    EXPECT_FALSE(file_exists("ready_N_N.nc"));
    EXPECT_FALSE(traces.contains("cnc_add_file_line_number():convert fail\n"));
    EXPECT_TRUE(traces.contains("new file name ready_N.nc.\n"));
}

TEST_F(nc_pipeline, size_comparison_pads_to_four)
{
    // 8-byte header + 2 bytes = 10 bytes, stored on the card as 12.
    write_text("s.nc", "M3");
    ASSERT_EQ(start("s.nc", 0, 0), 0);
    EXPECT_EQ(read_file(sim->sd_path("s_N.nc")).size(), 12u);
    ASSERT_EQ(read_file("s_N.nc").size(), 0u);

    // Same padded size: no download even though the content differs.
    write_text("s.nc", "M5");
    clear_sim_lines();
    traces.clear();
    ASSERT_EQ(start("s.nc", 0, 0), 0);
    EXPECT_EQ(replies_to(49), 0);
    EXPECT_TRUE(traces.contains("mcu_bsp_sdcard():get file s_N.nc stat\n"));
    EXPECT_TRUE(traces.contains("file match.\n"));

    // Two lines of 15 bytes with their header pad to 16: a download.
    write_text("s.nc", "M30\nM5\n");
    clear_sim_lines();
    ASSERT_EQ(start("s.nc", 0, 0), 0);
    EXPECT_GT(replies_to(49), 0);
    EXPECT_EQ(read_file(sim->sd_path("s_N.nc")).size(), 12u + 4u);
}

// The numbered copy of a one-line program "G0 X<n>\n".
std::string numbered_one_liner(int n) { return "(NFL1)\r\nG0 X" + std::to_string(n) + "\n"; }

uint32_t padded_crc(const std::string& text)
{
    bytes b = padded4(bytes(text.begin(), text.end()));
    return payload_crc32(reinterpret_cast<const char*>(b.data()), int(b.size()));
}

TEST_F(nc_pipeline, checksums_compare_in_full)
{
    // Two different programs whose checksums both have a zero low byte: a
    // comparison that stopped at the first zero byte would find them equal.
    std::vector<int> picks;
    for (int n = 0; n < 100000 && picks.size() < 2; ++n)
        if ((padded_crc(numbered_one_liner(n)) & 0xFF) == 0) picks.push_back(n);
    ASSERT_EQ(picks.size(), 2u);

    write_text("a.nc", "G0 X" + std::to_string(picks[0]) + "\n");
    ASSERT_EQ(start("a.nc", 0, 1), 0);
    write_text("a.nc", "G0 X" + std::to_string(picks[1]) + "\n");
    clear_sim_lines();
    traces.clear();
    ASSERT_EQ(start("a.nc", 0, 1), 0);
    EXPECT_TRUE(traces.contains("file not match.\n"));
    EXPECT_GT(replies_to(49), 0);
    std::string expected = numbered_one_liner(picks[1]);
    EXPECT_EQ(read_file(sim->sd_path("a_N.nc")), padded4(bytes(expected.begin(), expected.end())));
}

TEST_F(nc_pipeline, names_that_do_not_fit_are_refused)
{
    std::string stem(243, 'p');  // stem + "_N.nc" = 248 bytes, one more than the start block takes
    EXPECT_EQ(start(stem + ".nc", 0, 1), -7);
    EXPECT_FALSE(file_exists(stem + "_N.nc"));
    std::string longer(300, 'q');
    EXPECT_EQ(start("dir/" + longer + ".nc", 0, 1), -7);
    EXPECT_EQ(dev->cnc_start_nc_file(0, nullptr, 1), -7);
    EXPECT_EQ(replies_to(21) + replies_to(48) + replies_to(49), 0);

    // 242 + 5 = 247 fits.
    std::string fits(242, 'r');
    write_text(fits + ".nc", three_lines);
    EXPECT_EQ(start(fits + ".nc", 0, 1), 0);
    EXPECT_EQ(sim->machine().job_name, fits + "_N.nc");
}

struct lost_case {
    const char* step;
    int cmd;
    uint32_t skip;  // frames of cmd to let through before the link goes
    uint8_t check;
    int result;
};

class nc_lost_link : public nc_pipeline, public ::testing::WithParamInterface<lost_case> {};

TEST_P(nc_lost_link, ends_with_its_result_and_keeps_the_copy)
{
    const lost_case& c = GetParam();
    write_text("job.nc", std::string(20000, 'G') + "\n");
    sim->arm_fault(bsim::fault_kind::close_now, c.cmd, int(c.skip));
    EXPECT_EQ(start("job.nc", 0, c.check), c.result) << c.step;
    EXPECT_TRUE(file_exists("job_N.nc")) << c.step;
    if (c.result == -1) {
        EXPECT_TRUE(traces.contains("write file fail.\n"));
        EXPECT_TRUE(traces.contains("cnc_start_write_nc_file():write fail\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(each_step, nc_lost_link,
                         ::testing::Values(lost_case{"checksum query", 21, 0, 1, -4},
                                           lost_case{"size query", 21, 0, 0, -4},
                                           lost_case{"erase", 21, 1, 1, -4},
                                           lost_case{"start block", 48, 0, 1, -4},
                                           lost_case{"first chunk", 49, 0, 1, -1},
                                           lost_case{"last chunk", 49, 2, 1, -1}),
                         [](const ::testing::TestParamInfo<lost_case>& info) {
                             std::string name = info.param.step;
                             for (auto& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

}  // namespace
