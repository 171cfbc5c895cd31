// Round trips through the simulated board: SD card files of awkward sizes
// with the checksum verified by the board, an FPGA image, and a staged
// spindle update polled to its end.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "sim_fixture.h"

namespace {

TEST_F(sim_transfer, sd_files_round_trip_with_checksum)
{
    const size_t sizes[] = {1, 3, 8191, 8192, 8193, 5 * 1024 * 1024};
    uint32_t seed = 1;
    for (size_t n : sizes) {
        SCOPED_TRACE("size " + std::to_string(n));
        bytes content = random_bytes(n, seed++);
        const std::string name = "f" + std::to_string(n) + ".bin";
        write_file(name, content);

        _flash_msg wr = make_msg(FLASH_TARGET_SDCARD, 4, name);
        wr.check = 1;
        int32_t progress = 0;
        wr.progress = &progress;
        ASSERT_EQ(mcu_bsp_sdcard(&wr), 0);
        EXPECT_EQ(size_t(progress), padded4(content).size());
        // The board stores the padded stream; the length travels nowhere.
        EXPECT_EQ(read_file(sim->sd_path(name)), padded4(content));

        ASSERT_EQ(std::remove(name.c_str()), 0);
        _flash_msg rd = make_msg(FLASH_TARGET_SDCARD, 5, name);
        rd.size = 64u << 20;
        ASSERT_EQ(mcu_bsp_sdcard(&rd), 0);
        EXPECT_EQ(read_file(name), padded4(content));

        _flash_msg st = make_msg(FLASH_TARGET_SDCARD, 7, name);
        ASSERT_EQ(mcu_bsp_sdcard(&st), 0);
        EXPECT_EQ(st.size, padded4(content).size());
    }
    auto s = sim->stats();
    EXPECT_EQ(s.checksum_ok, std::size(sizes));
    EXPECT_EQ(s.checksum_failed, 0u);
    EXPECT_EQ(s.refused, 0u);
}

TEST_F(sim_transfer, empty_file_is_refused_after_the_create)
{
    write_file("empty.bin", {});
    _flash_msg wr = make_msg(FLASH_TARGET_SDCARD, 4, "empty.bin");
    wr.check = 1;
    EXPECT_EQ(mcu_bsp_sdcard(&wr), -4);
    EXPECT_EQ(replies_to(20), 0);
    // The create has left an empty file on the card; reading it gives nothing.
    ASSERT_TRUE(file_exists(sim->sd_path("empty.bin")));
    write_text("empty.bin", "stale");
    _flash_msg rd = make_msg(FLASH_TARGET_SDCARD, 5, "empty.bin");
    rd.size = 4096;
    ASSERT_EQ(mcu_bsp_sdcard(&rd), 0);
    EXPECT_TRUE(read_file("empty.bin").empty());
}

TEST_F(sim_transfer, fpga_image_round_trip)
{
    bytes image = random_bytes(100 * 1024 + 3, 42);
    write_file("fpga.bin", image);
    _flash_msg wr = make_msg(FLASH_TARGET_FPGA, 4, "fpga.bin");
    ASSERT_EQ(mcu_bsp_fpga_flash(&wr), 0);
    EXPECT_EQ(sim->fpga_image(), padded4(image));
    EXPECT_EQ(sim->peripheral_state().fpga_prog_line, 1);

    _flash_msg rd = make_msg(FLASH_TARGET_FPGA, 5, "fpga_back.bin");
    rd.size = uint32_t(padded4(image).size());
    int32_t progress = 0;
    rd.progress = &progress;
    ASSERT_EQ(mcu_bsp_fpga_flash(&rd), 0);
    EXPECT_EQ(read_file("fpga_back.bin"), padded4(image));
    EXPECT_EQ(sim->peripheral_state().fpga_prog_line, 0);  // a read leaves line 2 low

    _flash_msg erase = make_msg(FLASH_TARGET_FPGA, 6, "");
    ASSERT_EQ(mcu_bsp_fpga_flash(&erase), 0);
    EXPECT_TRUE(sim->fpga_image().empty());
}

TEST_F(sim_transfer, spindle_update_progress_reaches_the_end)
{
    bytes firmware = random_bytes(300 * 1024, 8);
    write_file("spindle.bin", firmware);
    _flash_msg m = make_msg(0, 0, "spindle.bin");
    ASSERT_EQ(mcu_bsp_update_spindle(&m), 0);
    EXPECT_EQ(read_file(sim->sd_path("spindle.bin")), firmware);

    int value = -1, last = -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(mcu_bsp_read_progress(&value), 0);
        ASSERT_GE(value, last);  // never goes back
        last = value;
        if (value == int(firmware.size())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(value, int(firmware.size()));
}

// Local file names are UTF-8 text: names outside ASCII (Chinese, accented)
// reach the same files on every platform, also for the read-back.
TEST_F(sim_transfer, utf8_local_file_names_round_trip)
{
    auto utf8_path = [](const std::string& s) {
        return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
    };
    const std::string out_name = "\xE5\x9B\xBA\xE4\xBB\xB6_\xC3\xA9t\xC3\xA9.bin";  // 固件_été.bin
    const std::string back_name = "\xE5\x9B\x9E\xE8\xAF\xBB_\xC3\xBC.bin";           // 回读_ü.bin
    const bytes image = random_bytes(20001, 9);
    {
        std::ofstream f(utf8_path(out_name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    }
    _flash_msg wr = make_msg(FLASH_TARGET_FPGA, 4, out_name);
    wr.check = 1;
    EXPECT_EQ(mcu_bsp_fpga_flash(&wr), 0);
    EXPECT_EQ(sim->fpga_image(), padded4(image));

    _flash_msg rd = make_msg(FLASH_TARGET_FPGA, 5, back_name);
    rd.size = uint32_t(padded4(image).size());
    EXPECT_EQ(mcu_bsp_fpga_flash(&rd), 0);
    std::ifstream back(utf8_path(back_name), std::ios::binary);
    EXPECT_EQ(bytes(std::istreambuf_iterator<char>(back), {}), padded4(image));
}

}  // namespace
