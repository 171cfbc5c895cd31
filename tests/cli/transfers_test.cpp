// pelkctl's transfers: FPGA flash, MCU application, SD card files and the
// updates staged on the card, each with its verification and failures.
#include <filesystem>

#include "cli_support.h"

namespace {

TEST_F(pelkctl_local, fpga_write_verify_read_and_erase_and_their_failures)
{
    auto& board = start_board(0, "FPGA-BOARD");
    std::string image = make_file("fpga.bin", 5001);

    auto r = run({"fpga", "write", image});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "fpga write: 5004 bytes in") && has(r.err, "verified")) << r.err;
    auto want = file_bytes(image);
    auto held = board.fpga_image();
    held.resize(want.size());
    EXPECT_EQ(held, want);

    jvalue j = run({"fpga", "write", "--json", "--no-verify", "fpga.bin"}).json();
    EXPECT_TRUE(j["ok"].b);
    EXPECT_EQ(j["bytes"].num, 5004);
    EXPECT_FALSE(j["verified"].b);
    EXPECT_GT(j["bytes_per_second"].num, 0);

    r = run({"fpga", "read", "--size", "5001", "back.bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto back = file_bytes(work_path("back.bin"));
    ASSERT_GE(back.size(), want.size());
    back.resize(want.size());
    EXPECT_EQ(back, want);

    EXPECT_EQ(run({"fpga", "read", "no/such/folder/back.bin"}).code, 7);
    EXPECT_EQ(run({"fpga", "erase"}).code, 0);
    EXPECT_TRUE(board.fpga_image().empty());

    r = run({"fpga", "write", "missing.bin"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, "missing.bin")) << r.err;
    make_file("empty.bin", 0);
    EXPECT_EQ(run({"fpga", "write", "empty.bin"}).code, 7);

    // The board stores a wrong byte but answers as if all went well.
    auto f = bsim::faults{};
    f.corrupt_writes = true;
    board.set_faults(f);
    r = run({"fpga", "write", image});
    EXPECT_EQ(r.code, 6);
    EXPECT_TRUE(has(r.err, "differs from") && has(r.err, "at byte 0")) << r.err;
    EXPECT_EQ(run({"fpga", "write", "--no-verify", image}).code, 0) << "nothing checks without verification";
    board.set_faults({});

    // The connection drops in the middle of the image.
    board.arm_fault(bsim::fault_kind::close_now, 32, 3);
    r = run({"fpga", "write", image});
    EXPECT_EQ(r.code, 4);
    EXPECT_TRUE(has(r.err, "link to the board was lost")) << r.err;
}

TEST_F(pelkctl_local, mcu_write_only_to_a_board_in_its_loader)
{
    auto& running = start_board(0, "MCU-RUNNING");
    std::string app = make_file("app.bin", 4096);
    auto r = run({"mcu", "write", app});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(has(r.err, "loader")) << r.err;
    EXPECT_TRUE(running.mcu_app().empty());
    boards[0].reset();

    auto& loader = start_board(0, "MCU-LOADER", [](bsim::config& c) {
        c.set_major = true;
        c.id.fw_major = 0;
    });
    r = run({"mcu", "write", app});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "mcu write: 4096 bytes in")) << r.err;
    EXPECT_EQ(loader.mcu_app(), file_bytes(app));
}

TEST_F(pelkctl_local, sd_card_files_put_get_stat_rm_and_format)
{
    auto& board = start_board(0, "SD-BOARD");
    std::string data = make_file("job.bin", 20001);
    // Files travel padded with zeros to a multiple of 4 bytes, and the card
    // keeps the padding.
    auto want = file_bytes(data);
    want.resize(20004, 0);

    auto r = run({"sd", "put", "job.bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file_bytes(board.sd_path("job.bin")), want);

    jvalue st = run({"sd", "stat", "job.bin", "--json"}).json();
    EXPECT_EQ(st["size"].num, 20004);
    EXPECT_EQ(st["checksum"].str.size(), 8u);

    std::filesystem::remove(data);
    r = run({"sd", "get", "job.bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file_bytes(data), want);

    EXPECT_EQ(run({"sd", "rm", "job.bin"}).code, 0);
    EXPECT_FALSE(std::filesystem::exists(board.sd_path("job.bin")));
    r = run({"sd", "stat", "job.bin"});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(has(r.err, "no such file")) << r.err;
    EXPECT_EQ(run({"sd", "get", "job.bin"}).code, 5);
    EXPECT_EQ(run({"sd", "rm", "job.bin"}).code, 5);

    EXPECT_EQ(run({"sd", "put", "job.bin"}).code, 0);
    EXPECT_EQ(run({"sd", "format"}).code, 2) << "no terminal to confirm on and no --yes";
    EXPECT_TRUE(std::filesystem::exists(board.sd_path("job.bin")));
    EXPECT_EQ(run({"sd", "format", "--yes"}).code, 0);
    EXPECT_FALSE(std::filesystem::exists(board.sd_path("job.bin")));

    auto f = bsim::faults{};
    f.corrupt_writes = true;
    board.set_faults(f);
    r = run({"sd", "put", "job.bin"});
    EXPECT_EQ(r.code, 6);
    EXPECT_TRUE(has(r.err, "checksum")) << r.err;
    board.set_faults({});

    board.arm_fault(bsim::fault_kind::close_now, 20, 1);
    r = run({"sd", "put", "job.bin"});
    EXPECT_EQ(r.code, 4);
    EXPECT_TRUE(has(r.err, "lost")) << r.err;
}

TEST_F(pelkctl_local, staged_updates_follow_the_board_to_the_end)
{
    auto& board = start_board(0, "UPD-BOARD", [](bsim::config& c) { c.update_rate = 64 * 1024; });
    std::string fw = make_file("drive.bin", 30000);

    auto r = run({"update", "spindle", "drive.bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "the board finished the update")) << r.err;
    EXPECT_EQ(file_bytes(board.sd_path("drive.bin")), file_bytes(fw));

    r = run({"update", "app", "--json", "drive.bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.json()["verified"].b);
    EXPECT_TRUE(wait_until([&] { return board.mcu_app() == file_bytes(fw); }));

    auto f = bsim::faults{};
    f.corrupt_writes = true;
    board.set_faults(f);
    r = run({"update", "dc", "drive.bin"});
    EXPECT_EQ(r.code, 6) << r.err;
}

}  // namespace
