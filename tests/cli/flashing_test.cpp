// Factory-line safety of pelkctl's writes: files that cannot be images are
// refused before anything is erased, and a write cut by Ctrl-C says what the
// target holds.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_support.h"

namespace {

TEST_F(pelkctl_local, images_that_cannot_fit_or_are_text_are_refused_before_anything_is_erased)
{
    auto& board = start_board(0, "CAP-BOARD");
    std::string image = make_file("fpga.bin", 5000);
    ASSERT_EQ(run({"fpga", "write", "--no-verify", image}).code, 0);
    const auto held = board.fpga_image();
    ASSERT_FALSE(held.empty());

    // A G-code program chosen by mistake, one with text only, and images
    // larger than the flash: refused with the local-file code, the flash
    // keeps the image it had.
    std::ofstream(work_path("part.nc")) << "%\nG21 G90\nG0 X0 Y0\nG1 X10 Y5 F600\nM30\n";
    std::ofstream(work_path("notes.txt")) << "release notes\n\tnothing binary here, \xc3\xa9t\xc3\xa9\n";
    auto r = run({"fpga", "write", "part.nc"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, "G-code")) << r.err;
    r = run({"fpga", "write", "notes.txt"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, "only text")) << r.err;
    make_file("huge.bin", 16 * 1024 * 1024 + 1);
    r = run({"fpga", "write", "huge.bin"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, "holds (16 MiB)")) << r.err;
    r = run({"fpga", "write", "--capacity", "4096", image});
    EXPECT_EQ(r.code, 7) << "a board family with a smaller flash";
    EXPECT_EQ(board.fpga_image(), held) << "nothing erased or written";

    // Drive firmware and the MCU application: the same checks, their own sizes.
    r = run({"update", "spindle", "part.nc"});
    EXPECT_EQ(r.code, 7);
    EXPECT_FALSE(std::filesystem::exists(board.sd_path("part.nc"))) << "nothing staged";
    make_file("drive.bin", 1024 * 1024 + 4);
    EXPECT_EQ(run({"update", "dc", "drive.bin"}).code, 7);
    boards[0].reset();

    auto& loader = start_board(0, "CAP-LOADER", [](bsim::config& c) {
        c.set_major = true;
        c.id.fw_major = 0;
    });
    make_file("app.bin", 1536 * 1024);
    r = run({"mcu", "write", "app.bin"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, "MCU application") && has(r.err, "holds (1 MiB)")) << r.err;
    // Told the flash is larger, pelkctl sends it; the board refuses the
    // chunk past its end and keeps no application.
    r = run({"mcu", "write", "--capacity", "2097152", "app.bin"});
    EXPECT_EQ(r.code, 5) << r.err;
    EXPECT_TRUE(loader.mcu_app().empty());
    EXPECT_EQ(run({"mcu", "write", "part.nc"}).code, 7);

    // The SD card takes any file, programs included; only empty ones are refused.
    EXPECT_EQ(run({"sd", "put", "part.nc"}).code, 0);
    make_file("empty.bin", 0);
    EXPECT_EQ(run({"sd", "put", "empty.bin"}).code, 7);
}

TEST_F(pelkctl_local, ctrl_c_during_a_write_says_what_the_target_holds)
{
    auto& board = start_board(0, "CUT-BOARD");
    auto f = bsim::faults{};
    f.delay_ms = 10;
    board.set_faults(f);

    std::string image = make_file("fpga.bin", 400 * 1024);
    auto child = start({"fpga", "write", image});
    ASSERT_TRUE(wait_until([&] { return board.fpga_image().size() >= 32 * 1024; }, 20000));
    ::kill(child.pid, SIGINT);
    auto r = finish(child);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_TRUE(has(r.err, "FPGA flash: ") && has(r.err, "MiB of 0.4 MiB written") &&
                has(r.err, "will not start this image"))
        << r.err;
    EXPECT_LT(board.fpga_image().size(), 400u * 1024) << "stopped well before the end";
    EXPECT_EQ(board.stats().refused, 0u);

    // A cut copy to the card leaves no file there that looks complete.
    std::string data = make_file("job.bin", 600 * 1024, 2);
    child = start({"sd", "put", "job.bin"});
    ASSERT_TRUE(wait_until([&] {
        std::error_code ec;
        return std::filesystem::file_size(board.sd_path("job.bin"), ec) >= 64 * 1024 && !ec;
    }, 20000));
    ::kill(child.pid, SIGINT);
    r = finish(child);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_TRUE(has(r.err, "SD card file: ") && has(r.err, "erased")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(board.sd_path("job.bin")));
    board.set_faults({});
    EXPECT_EQ(run({"sd", "put", "job.bin"}).code, 0) << "the link was left usable";
}

}  // namespace
