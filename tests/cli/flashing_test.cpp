// Factory-line safety of pelkctl's writes: files that cannot be images are
// refused before anything is erased, a write cut by Ctrl-C says what the
// target holds, and --record keeps one JSON line per board and operation.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_support.h"

namespace {

std::vector<std::string> lines_of(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST_F(pelkctl_test, images_that_cannot_fit_or_are_text_are_refused_before_anything_is_erased)
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

TEST_F(pelkctl_test, ctrl_c_during_a_write_says_what_the_target_holds)
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

TEST_F(pelkctl_test, records_one_json_line_per_board_and_operation_and_skips_the_same_file)
{
    auto& board = start_board(0, "REC-BOARD");
    std::ofstream(work_path("abc.txt")) << "abc";
    std::string image = make_file("fpga.bin", 3000);

    EXPECT_EQ(run({"sd", "put", "--record", "rec.jsonl", "abc.txt"}).code, 0);
    auto r = run({"sd", "put", "--record", "rec.jsonl", "--skip-same", "abc.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.err, "skipped")) << r.err;
    EXPECT_EQ(run({"fpga", "write", "--record", "rec.jsonl", "--skip-same", image}).code, 0);
    EXPECT_EQ(run({"info", "--record", "rec.jsonl"}).code, 0);
    EXPECT_EQ(run({"fpga", "write", "--record", "rec.jsonl", "abc.txt"}).code, 7);

    auto lines = lines_of(work_path("rec.jsonl"));
    ASSERT_EQ(lines.size(), 5u);
    std::vector<jvalue> rec(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_TRUE(parse_json(lines[i], rec[i])) << lines[i];

    const jvalue& put = rec[0];
    EXPECT_EQ(put["operation"].str, "sd put");
    EXPECT_EQ(put["machine_id"].str, "REC-BOARD");
    EXPECT_EQ(put["board_id"].str.size(), 24u);
    EXPECT_EQ(put["address"].str, "10.233.0.2");
    EXPECT_EQ(put["time"].str.size(), 20u);
    EXPECT_EQ(put["time"].str.back(), 'Z');
    EXPECT_EQ(put["image"]["name"].str, "abc.txt");
    EXPECT_EQ(put["image"]["size"].num, 3);
    EXPECT_EQ(put["image"]["sha256"].str, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(put["bytes"].num, 4);
    EXPECT_EQ(put["result"].str, "ok");
    EXPECT_EQ(put["exit_code"].num, 0);
    EXPECT_FALSE(put["versions_before"]["firmware"].str.empty());
    EXPECT_EQ(put["versions_after"]["product"].str, put["versions_before"]["product"].str);
    EXPECT_TRUE(put.has("duration_seconds") && put.has("bytes_per_second"));

    EXPECT_EQ(rec[1]["result"].str, "skipped");
    EXPECT_EQ(rec[2]["operation"].str, "fpga write");
    EXPECT_EQ(rec[2]["result"].str, "ok") << "no checksum of the flash: written, not skipped";
    EXPECT_EQ(rec[2]["image"]["size"].num, 3000);
    EXPECT_EQ(rec[3]["operation"].str, "info");
    EXPECT_EQ(rec[3]["image"].kind, jvalue::null_v);
    EXPECT_EQ(rec[4]["result"].str, "failed");
    EXPECT_EQ(rec[4]["exit_code"].num, 7);
    EXPECT_TRUE(has(rec[4]["error"].str, "text")) << lines[4];
    (void)board;
}

}  // namespace
