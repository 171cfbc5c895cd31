// What the board keeps in its state directory across a restart.
#include <cstring>

#include "sim_support.h"

namespace {

class persistence_test : public sim_test {
protected:
    void SetUp() override
    {
        sim_test::SetUp();
        cfg.set_machine_id = cfg.set_major = true;
        std::memcpy(cfg.id.machine_id.data(), "PERSIST-0001", 12);
        cfg.id.fw_major = 7;
        start_board();
        ASSERT_TRUE(open_link());
    }
    // Restarts with no identity options: the directory alone must tell.
    void restart()
    {
        cfg.set_machine_id = cfg.set_major = false;
        cfg.id = bsim::identity{};
        start_board();
        ASSERT_TRUE(wait_for([&] { return closes.calls == 1; })) << "restart not seen as a lost link";
        ASSERT_TRUE(open_link());
    }
};

TEST_F(persistence_test, storage_areas_identity_and_sd_files_survive_a_restart)
{
    std::vector<uint8_t> fram = {1, 2, 3, 4}, user = {'i', 'd', 0, 3}, table(8), name(256, 0);
    float params[2] = {2.5f, -1.0f};
    std::memcpy(table.data(), params, 8);
    std::strcpy(reinterpret_cast<char*>(name.data()), "logs/run.txt");
    std::vector<uint8_t> content(20000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(i * 31 + 7);
    auto board_id = sim->ident().board_id;

    ASSERT_EQ(send(16, XFER_WRITE, 100, fram), 0);
    ASSERT_EQ(send(50, XFER_WRITE, 16, user), 0);
    ASSERT_EQ(send(48, XFER_WRITE, 8, table), 0);
    ASSERT_EQ(send(21, XFER_WRITE, 1, name), 0);
    for (uint32_t off = 0; off < content.size(); off += 8192) {
        std::vector<uint8_t> c(content.begin() + off, content.begin() + std::min<size_t>(off + 8192, content.size()));
        ASSERT_EQ(send(20, XFER_WRITE, off, c), 0);
    }
    ASSERT_EQ(send(21, XFER_WRITE, 4, name), 0);
    std::string g0 = "G0 X12.5\n";
    std::vector<uint8_t> move(g0.begin(), g0.end());
    ASSERT_EQ(send(48, XFER_EXCHANGE, 3, move), 0);

    restart();
    EXPECT_EQ(read(16, 100, 4), fram);
    EXPECT_EQ(read(50, 16, 4), user);
    EXPECT_EQ(read(48, 9, 2048), table);
    auto version = read(3, 0, 4);
    EXPECT_EQ(version[1], 7) << "firmware major kept";
    auto id = sim->ident();
    EXPECT_EQ(std::string(id.machine_id.begin(), id.machine_id.end()), "PERSIST-0001");
    EXPECT_EQ(id.board_id, board_id);
    EXPECT_FLOAT_EQ(sim->machine().machine_pos[0], 12.5f);

    // The file is a real file with the bytes sent, and reads back through the card.
    EXPECT_EQ(file_bytes(sim->sd_path("logs/run.txt")), content);
    name.assign(256, 0);
    std::strcpy(reinterpret_cast<char*>(name.data()), "logs/run.txt");
    ASSERT_EQ(send(21, XFER_WRITE, 2, name), 0);
    EXPECT_EQ(read(20, 19000, 1024).size(), 1000u);
}

TEST_F(persistence_test, job_cut_by_a_restart_is_offered_for_resuming)
{
    std::string prog = "(NFL1000)\r\n";
    for (int i = 0; i < 1000; ++i) prog += "G1 Y" + std::to_string(i % 10) + "\r\n";
    std::vector<uint8_t> start(8, 0), file(prog.begin(), prog.end());
    const char job[] = "long_N.nc";
    start.insert(start.end(), job, job + sizeof job);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 1, start), 0);
    for (uint32_t off = 0; off < file.size(); off += 8192) {
        std::vector<uint8_t> c(file.begin() + off, file.begin() + std::min<size_t>(off + 8192, file.size()));
        ASSERT_EQ(send(49, XFER_WRITE, off, c), 0);
    }
    ASSERT_TRUE(wait_for([&] { return sim->machine().run_line >= 10; }));

    restart();
    auto st = status();
    uint32_t run_line = 0;
    std::memcpy(&run_line, &st[12], 4);
    EXPECT_EQ(st[260], 1) << "resume_pending";
    EXPECT_GE(run_line, 10u);
    EXPECT_EQ(std::string(st.begin() + 120, st.begin() + 129), "long_N.nc");
    uint32_t run_state = 0;
    std::memcpy(&run_state, &st[44], 4);
    EXPECT_EQ(run_state, 0u) << "idle after the restart";
}

}  // namespace
