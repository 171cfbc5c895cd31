// The file checksum and the trace sink that programs on top of the library
// use in place of the link's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cnc_tasks.h"
#include "pelk_trace.h"
#include "scripted_peer.h"
#include "test_platform.h"
#include "vesk.h"

namespace {

std::string write_file(const std::string& dir, const std::string& name, const std::vector<char>& bytes)
{
    std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "";
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

std::vector<char> pattern(size_t n)
{
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<char>(i * 7 + 3);
    return v;
}

struct collected {
    std::vector<std::string> texts;
    static void sink(void* ctx, const char* text) { static_cast<collected*>(ctx)->texts.push_back(text); }
    bool has(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
};

}  // namespace

// The board pads the file with zeros to a multiple of 4 once, at its end:
// sizes around the library's 8192-byte reading block show both agree.
TEST(pelk_files, checksum_is_the_payload_crc_of_the_zero_padded_file)
{
    std::string dir = test_platform::make_temp_dir("pelk-files");
    ASSERT_FALSE(dir.empty());
    for (size_t size : {size_t(1), size_t(5), size_t(8), size_t(8192), size_t(8195), size_t(3 * 8192 + 2)}) {
        std::vector<char> bytes = pattern(size);
        std::string path = write_file(dir, "f" + std::to_string(size), bytes);
        ASSERT_FALSE(path.empty());
        bytes.resize((size + 3) & ~size_t(3), 0);
        uint32_t crc = 0;
        ASSERT_EQ(cnc::file_checksum(path.c_str(), &crc), PELK_OK) << size;
        EXPECT_EQ(crc, payload_crc32(bytes.data(), static_cast<int>(bytes.size()))) << size;
        std::remove(path.c_str());
    }
    uint32_t crc = 0xABCD;
    EXPECT_EQ(cnc::file_checksum((dir + "/none").c_str(), &crc), PELK_ERR_FILE);
    EXPECT_EQ(crc, 0xABCDu);
    EXPECT_EQ(cnc::file_checksum(nullptr, &crc), PELK_ERR_FILE);
    std::remove(dir.c_str());
}

TEST(pelk_files, trace_sink_takes_both_libraries_traces_until_reset)
{
    collected got;
    pelk_set_trace_sink(&collected::sink, &got);
    uint32_t crc = 0;
    EXPECT_EQ(cnc::file_checksum("/nonexistent/pelk-trace-probe", &crc), PELK_ERR_FILE);
    // The link's traces come through the same sink (nobody listens there).
    std::string silent = unique_loopback_address();
    {
        vesk link;
        EXPECT_EQ(link.eth_device_open_address(silent.c_str(), nullptr, nullptr), VESK_ERR_SOCKET);
    }
    pelk_set_trace_sink(nullptr, nullptr);
    EXPECT_TRUE(got.has("open /nonexistent/pelk-trace-probe fail\n"));
    EXPECT_TRUE(got.has("tcp connect() server ip:" + silent + " failed.-1\n"));

    size_t before = got.texts.size();
    EXPECT_EQ(cnc::file_checksum("/nonexistent/pelk-trace-probe", &crc), PELK_ERR_FILE);
    EXPECT_EQ(got.texts.size(), before);
}
