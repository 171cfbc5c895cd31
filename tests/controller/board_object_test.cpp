// Board objects on simulated boards in the same process: each on its own
// connection, several at once, and the board tasks every front end uses.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "board_sim.h"
#include "board_sim_transport.h"
#include "cnc_board.h"
#include "cnc_tasks.h"

namespace fs = std::filesystem;

namespace {

struct sim_and_board {
    explicit sim_and_board(const std::string& mid, const std::function<void(bsim::config&)>& adjust = {})
    {
        bsim::config cfg;
        cfg.listen = false;
        cfg.set_machine_id = true;
        std::memcpy(cfg.id.machine_id.data(), mid.data(), std::min<size_t>(mid.size(), 12));
        if (adjust) adjust(cfg);
        sim = std::make_unique<bsim::board>(cfg);
        std::string why;
        EXPECT_TRUE(sim->start(&why)) << why;
        board = std::make_unique<cnc::board>(bsim::in_process(*sim));
    }
    std::unique_ptr<bsim::board> sim;
    std::unique_ptr<cnc::board> board;
};

struct work_dir {
    work_dir() : path(fs::temp_directory_path() / ("board_object_test." + std::to_string(::getpid())))
    {
        fs::create_directories(path);
    }
    ~work_dir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name, size_t size, unsigned seed)
    {
        std::string p = (path / name).string();
        std::ofstream f(p, std::ios::binary);
        unsigned x = seed * 2654435761u + 1;
        for (size_t i = 0; i < size; ++i) {
            x = x * 1103515245u + 12345u;
            f.put(char(x >> 16));
        }
        return p;
    }
    fs::path path;
};

int count_closes(void* ctx, int)
{
    ++*static_cast<std::atomic<int>*>(ctx);
    return 0;
}

}  // namespace

TEST(board_object, boards_in_one_process_work_at_once_each_on_its_own_connection)
{
    constexpr int boards = 4;
    work_dir dir;
    std::vector<std::unique_ptr<sim_and_board>> fleet;
    std::vector<std::string> files;
    for (int i = 0; i < boards; ++i) {
        fleet.push_back(std::make_unique<sim_and_board>("FLEET0000" + std::to_string(i) + "AB"));
        ASSERT_EQ(fleet.back()->board->cnc_open_dev_index(0, nullptr, nullptr), PELK_OK);
        // Sizes differ so that a file landing on the wrong board shows.
        files.push_back(dir.file("image" + std::to_string(i) + ".bin", 300000 + 4097 * size_t(i), unsigned(i + 1)));
    }
    std::vector<int> results(boards, -99);
    std::vector<uint64_t> last_done(boards), last_total(boards);
    std::vector<bool> monotonic(boards, true);
    std::vector<std::thread> threads;
    for (int i = 0; i < boards; ++i)
        threads.emplace_back([&, i] {
            _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, FLASH_OP_WRITE, files[size_t(i)]);
            m.check = 1;
            results[size_t(i)] = cnc::run_transfer(*fleet[size_t(i)]->board, m, [&, i](uint64_t done, uint64_t total) {
                if (done < last_done[size_t(i)]) monotonic[size_t(i)] = false;
                last_done[size_t(i)] = done;
                last_total[size_t(i)] = total;
            });
        });
    for (auto& t : threads) t.join();
    for (int i = 0; i < boards; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[size_t(i)], PELK_OK);
        EXPECT_TRUE(monotonic[size_t(i)]);
        EXPECT_EQ(last_done[size_t(i)], last_total[size_t(i)]);
        EXPECT_EQ(last_total[size_t(i)], fs::file_size(files[size_t(i)]));
        bool same = false;
        ASSERT_EQ(cnc::sd_checksum_matches(*fleet[size_t(i)]->board, files[size_t(i)], files[size_t(i)], &same),
                  PELK_OK);
        EXPECT_TRUE(same);
        // Nothing of another board's file reached this one.
        uint32_t size = 0;
        bool exists = false;
        ASSERT_EQ(cnc::sd_file_size(*fleet[size_t(i)]->board, files[size_t((i + 1) % boards)], &size, &exists),
                  PELK_OK);
        EXPECT_FALSE(exists);
    }
}

TEST(board_object, a_stop_request_ends_only_that_boards_transfer)
{
    work_dir dir;
    sim_and_board a("STOPA0000001"), b("STOPB0000002");
    ASSERT_EQ(a.board->cnc_open_dev_index(0, nullptr, nullptr), PELK_OK);
    ASSERT_EQ(b.board->cnc_open_dev_index(0, nullptr, nullptr), PELK_OK);
    std::string file = dir.file("big.bin", 2 << 20, 3);
    int ra = -99, rb = -99;
    std::thread ta([&] {
        _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, FLASH_OP_WRITE, file);
        // Asked from the observer after the first chunk: the transfer ends at the next.
        ra = cnc::run_transfer(*a.board, m, [&](uint64_t, uint64_t) { a.board->mcu_bsp_transfer_stop(1); });
    });
    std::thread tb([&] {
        _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, FLASH_OP_WRITE, file);
        rb = cnc::run_transfer(*b.board, m, {});
    });
    ta.join();
    tb.join();
    EXPECT_NE(ra, PELK_OK);
    EXPECT_EQ(rb, PELK_OK);
    EXPECT_EQ(fs::file_size(b.sim->sd_path(file)), fs::file_size(file));
}

TEST(board_object, a_board_that_hangs_up_closes_the_link_once_and_reopens)
{
    sim_and_board s("HANGUP000001");
    std::atomic<int> closes{0};
    ASSERT_EQ(s.board->cnc_open_dev(const_cast<char*>("HANGUP000001"), count_closes, &closes), PELK_OK);
    unsigned version = 0;
    EXPECT_EQ(s.board->mcu_bsp_get_version(&version), PELK_OK);
    s.sim->drop_connection();
    EXPECT_EQ(s.board->mcu_bsp_get_version(&version), PELK_ERR_COMMAND);
    EXPECT_FALSE(s.board->cnc_dev_state());
    EXPECT_EQ(closes.load(), 1);
    EXPECT_EQ(s.board->cnc_open_dev_index(0, count_closes, &closes), PELK_OK);
    EXPECT_EQ(s.board->mcu_bsp_get_version(&version), PELK_OK);
    // Another machine id is no board of this poll.
    EXPECT_NE(s.board->cnc_open_dev(const_cast<char*>("SOMEONEELSE1"), nullptr, nullptr), PELK_OK);
}

// A front end closing up from its close callback uses the board again on the
// same thread (a liveness probe, a close): the callback of a lost link comes
// after the frame's exchange is over, never inside it.
TEST(board_object, a_close_callback_may_use_the_board_again)
{
    sim_and_board s("REENTRANT001");
    struct closer {
        cnc::board* b;
        int calls = 0;
        bool alive_then = true;
        int close_then = PELK_OK;
    } c{s.board.get()};
    auto on_close = [](void* ctx, int) {
        auto* me = static_cast<closer*>(ctx);
        ++me->calls;
        me->alive_then = me->b->cnc_dev_state();
        me->close_then = me->b->cnc_close_dev();
        return 0;
    };
    ASSERT_EQ(s.board->cnc_open_dev_index(0, on_close, &c), PELK_OK);
    unsigned version = 0;
    s.sim->drop_connection();
    EXPECT_EQ(s.board->mcu_bsp_get_version(&version), PELK_ERR_COMMAND);
    EXPECT_EQ(c.calls, 1);
    EXPECT_FALSE(c.alive_then);
    EXPECT_NE(c.close_then, PELK_OK);  // already closed: nothing to call back again

    // A board that answers and then hangs up calls back after the answer.
    ASSERT_EQ(s.board->cnc_open_dev_index(0, on_close, &c), PELK_OK);
    bsim::faults once;
    once.close_after_frames = 1;
    s.sim->set_faults(once);
    EXPECT_EQ(s.board->mcu_bsp_get_version(&version), PELK_OK);
    EXPECT_EQ(c.calls, 2);
    EXPECT_FALSE(c.alive_then);
}

TEST(board_tasks, identity_machine_type_and_program_facts)
{
    sim_and_board s("TASKS0000001", [](bsim::config& c) {
        c.set_product = c.set_variant = c.set_major = c.set_minor = true;
        c.id.product = 3;
        c.id.variant = 1;
        c.id.fw_major = 2;
        c.id.fw_minor = 7;
    });
    ASSERT_EQ(s.board->cnc_open_dev_index(0, nullptr, nullptr), PELK_OK);
    cnc::identity id;
    ASSERT_EQ(cnc::read_identity(*s.board, &id, true), PELK_OK);
    EXPECT_EQ(cnc::product_name(id.version.product), "R28");
    EXPECT_EQ(cnc::variant_name(id.version.variant), "T15");
    EXPECT_EQ(cnc::version_text(id.version.major, id.version.minor), "2.7");
    EXPECT_TRUE(id.drive_known);
    EXPECT_EQ(cnc::product_name(9), "unknown(9)");

    // The type byte changes; the identifier and the bytes around it stay.
    std::vector<uint8_t> before(cnc::USER_TYPE_RECORD);
    for (size_t i = 0; i < before.size(); ++i) before[i] = uint8_t(0x40 + i);
    ASSERT_EQ(s.board->cnc_write_user_data(before.data(), 0, uint32_t(before.size())), PELK_OK);
    ASSERT_EQ(cnc::write_machine_type(*s.board, 5), PELK_OK);
    uint8_t code = 0;
    ASSERT_EQ(cnc::read_machine_type(*s.board, &code), PELK_OK);
    EXPECT_EQ(code, 5);
    EXPECT_EQ(cnc::machine_type_name(code), "R28");
    auto after = s.sim->user_data(0, cnc::USER_TYPE_RECORD);
    before[cnc::USER_TYPE_BYTE] = 5;
    EXPECT_EQ(after, before);

    work_dir dir;
    std::string path = (dir.path / "job.nc").string();
    std::ofstream(path, std::ios::binary) << "G0 X1\r\nG1 X2 F100\n\nG1 X3";
    cnc::nc_program_info info;
    ASSERT_EQ(cnc::inspect_nc_program(path, &info), PELK_OK);
    EXPECT_EQ(info.lines, 4u);
    EXPECT_EQ(info.size, fs::file_size(path));
    EXPECT_EQ(cnc::inspect_nc_program((dir.path / "missing.nc").string(), &info), PELK_ERR_FILE);
}

TEST(board_tasks, a_staged_drive_update_is_followed_to_its_end)
{
    work_dir dir;
    sim_and_board s("UPDATE000001", [](bsim::config& c) { c.update_rate = 4 << 20; });
    ASSERT_EQ(s.board->cnc_open_dev_index(0, nullptr, nullptr), PELK_OK);
    std::string file = dir.file("spindle.bin", 200000, 5);
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_SPINDLE, FLASH_OP_WRITE, file);
    uint64_t staged = 0;
    ASSERT_EQ(cnc::run_transfer(*s.board, m, [&](uint64_t done, uint64_t) { staged = done; }), PELK_OK);
    EXPECT_GE(staged, 200000u);
    uint64_t last = 0;
    bool monotonic = true;
    cnc::update_limits limits;
    limits.poll_ms = 10;
    auto out = cnc::follow_update(*s.board, 200000, limits, [&](uint64_t shown) {
        monotonic = monotonic && shown >= last;
        last = shown;
        return true;
    });
    EXPECT_EQ(out.end, cnc::update_end::finished);
    EXPECT_EQ(out.shown, 200000u);
    EXPECT_TRUE(monotonic);
}
