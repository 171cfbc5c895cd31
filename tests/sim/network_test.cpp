// Discovery and connection over a private network: two boards on the board
// side of a veth pair, the link library on the host side.
#include <cstring>

#include "sim_support.h"

namespace {

class network_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!net.ok()) GTEST_SKIP() << "no private network: " << net.why_not();
    }
    void TearDown() override
    {
        net.enter_host_side();
        link.eth_device_close();
        net.leave();
        for (auto& b : boards) b.reset();
    }
    // Starts board i on the board side at addr with machine id mid.
    void start(size_t i, const std::string& addr, const char* mid, const bsim::faults& f = {})
    {
        bsim::config c;
        c.tcp_addr = addr;
        c.state_dir = dirs[i].path;
        c.set_machine_id = true;
        std::memcpy(c.id.machine_id.data(), mid, 12);
        c.fault = f;
        ASSERT_TRUE(net.enter_board_side());
        boards[i] = std::make_unique<bsim::board>(c);
        std::string why;
        bool ok = boards[i]->start(&why);
        net.leave();
        ASSERT_TRUE(ok) << why;
    }
    // Runs discovery from the host side; returns the ids found.
    std::vector<std::string> discover()
    {
        char ids[32 * 12] = {};
        char count = 0;
        EXPECT_TRUE(net.enter_host_side());
        int r = link.eth_device_poll(ids, &count);
        net.leave();
        std::vector<std::string> found;
        if (r == 0)
            for (int i = 0; i < count; ++i) found.emplace_back(ids + i * 12, 12);
        return found;
    }
    std::vector<uint8_t> board_id()
    {
        std::vector<uint8_t> id(12);
        EXPECT_EQ(link.eth_send_cmd(2, XFER_READ, 0, id.data(), 12, nullptr), 0);
        return id;
    }

    private_net net{{"10.231.0.1"}, {"10.231.0.2", "10.231.0.3", "192.168.8.123"}};
    temp_dir dirs[2];
    std::unique_ptr<bsim::board> boards[2];
    vesk link;
    close_count closes;
};

std::vector<uint8_t> as_vec(const std::array<uint8_t, 12>& a) { return {a.begin(), a.end()}; }

TEST_F(network_test, two_boards_found_opened_by_id_and_by_static_address_restart_is_a_lost_link)
{
    start(0, "10.231.0.2", "BOARD-ALPHA1");
    start(1, "192.168.8.123", "BOARD-BRAVO2");
    auto found = discover();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(std::find(found.begin(), found.end(), "BOARD-ALPHA1"), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "BOARD-BRAVO2"), found.end());

    ASSERT_TRUE(net.enter_host_side());
    char alpha[] = "BOARD-ALPHA1";
    ASSERT_EQ(link.eth_device_open(alpha, close_count::callback, &closes), 0);
    EXPECT_EQ(board_id(), as_vec(boards[0]->ident().board_id));
    unsigned char version[4] = {};
    EXPECT_EQ(link.eth_send_cmd(3, XFER_READ, 0, version, 4, nullptr), 0);
    EXPECT_EQ(version[1], boards[0]->ident().fw_major);
    link.eth_device_close();
    EXPECT_EQ(closes.calls, 1);

    ASSERT_EQ(link.eth_device_open(-1, close_count::callback, &closes), 0);
    EXPECT_EQ(board_id(), as_vec(boards[1]->ident().board_id));
    net.leave();

    // The board at the static address restarts: the open link is lost.
    boards[1]->stop();
    ASSERT_TRUE(net.enter_board_side());
    std::string why;
    ASSERT_TRUE(boards[1]->start(&why)) << why;
    net.leave();
    // Bounded only against a close that never comes.
    for (int i = 0; i < 3000 && closes.calls < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(closes.calls, 2);
    EXPECT_FALSE(link.eth_device_state());
}

TEST_F(network_test, discovery_faults)
{
    bsim::faults silent, twice;
    silent.discovery_silent = true;
    twice.discovery_twice = true;
    start(0, "10.231.0.2", "SILENT-BOARD", silent);
    EXPECT_TRUE(discover().empty());
    EXPECT_GE(boards[0]->stats().discovery_requests, 1u) << "heard, not answered";
    boards[0].reset();

    start(0, "10.231.0.2", "TWICE-BOARD0", twice);
    auto found = discover();
    ASSERT_EQ(found.size(), 2u) << "a board that answers twice is recorded twice";
    EXPECT_EQ(found[0], found[1]);
}

}  // namespace
