// Discovery over real multicast between two private namespaces.
#include <gtest/gtest.h>

#include <cstring>
#include <chrono>

#include "link_fixture.h"
#include "private_net.h"
#include "test_access.h"
#include "vesk_platform.h"

namespace {

struct planned_answer {
    std::string from;
    std::string id;
    bool echo_like = false;  // FF FF in bytes 6-7, as a request has
};

// Answers each discovery request with the planned datagrams, in order.
class discovery_responder {
public:
    explicit discovery_responder(std::vector<planned_answer> answers) : plan(std::move(answers))
    {
        sock = vplat::udp_socket();
        vplat::set_reuseaddr(sock, true);
        vesk_addr any{};
        any.port = VESK_UDP_PORT;
        vesk_addr group{};
        vplat::parse_ipv4("224.0.0.88", &group);
        ready = vplat::bind_socket(sock, any) == 0 && vplat::join_multicast(sock, group, vesk_addr{}) == 0;
        worker = std::thread([this] { run(); });
    }
    ~discovery_responder()
    {
        stop = true;
        worker.join();
        vplat::close_socket(sock);
    }
    bool ready = false;
    std::atomic<int> requests{0};

private:
    void run()
    {
        while (!stop) {
            if (vplat::wait_readable(sock, 20) <= 0) continue;
            unsigned char req[128];
            vesk_addr from{};
            long n = vplat::recv_from(sock, req, sizeof req, &from);
            if (n != 64 || req[0] != 0xA5 || req[1] != 0x5A || req[2] != 1) continue;
            ++requests;
            for (const auto& a : plan) {
                unsigned char ans[64];
                std::memset(ans, 0, sizeof ans);
                ans[0] = 0xA5;
                ans[1] = 0x5A;
                ans[2] = 1;
                ans[4] = 2;
                ans[6] = a.echo_like ? 0xFF : 0x20;
                ans[7] = a.echo_like ? 0xFF : 0x00;
                std::memcpy(ans + 32, a.id.data(), std::min<size_t>(a.id.size(), 12));
                intptr_t out = vplat::udp_socket();
                vesk_addr src{};
                vplat::parse_ipv4(a.from.c_str(), &src);
                vplat::bind_socket(out, src);
                vplat::send_to(out, ans, sizeof ans, from);
                vplat::close_socket(out);
            }
        }
    }
    std::vector<planned_answer> plan;
    intptr_t sock = -1;
    std::atomic<bool> stop{false};
    std::thread worker;
};

const char* host_ip = "10.77.0.1";
const char* board_a = "10.77.0.10";
const char* board_b = "10.77.0.20";

class discovery_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!net.ok()) GTEST_SKIP() << "private network unavailable: " << net.why_not();
        vesk_test_clear_servers();
    }
    // Starts the responder on the board side, then moves this thread to the host side.
    void answer_with(std::vector<planned_answer> plan)
    {
        ASSERT_TRUE(net.enter_board_side());
        responder = std::make_unique<discovery_responder>(std::move(plan));
        ASSERT_TRUE(responder->ready);
        ASSERT_TRUE(net.enter_host_side());
    }
    void TearDown() override
    {
        net.leave();
        responder.reset();
        vesk_test_clear_servers();
    }

    private_net net{{host_ip, "192.168.8.1"}, {board_a, board_b, "192.168.8.123"}};
    std::unique_ptr<discovery_responder> responder;
    vesk link;
};

std::string addr_text(const server_info* s) { return s ? vplat::format_ipv4(s->addr) : "none"; }

}  // namespace

TEST_F(discovery_test, arrival_order_numbers_and_address_order_lists)
{
    answer_with({{board_b, "BOARD-TWENTY"}, {board_a, "BOARD-TEN---"}});
    trace_capture trace;
    char ids[32 * 12] = {};
    char count = 0;
    ASSERT_EQ(link.eth_device_poll(ids, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::string(ids, 12), "BOARD-TWENTY");
    EXPECT_EQ(std::string(ids + 12, 12), "BOARD-TEN---");
    EXPECT_EQ(addr_text(vesk_test_access::by_dev_id(0)), board_b);
    EXPECT_EQ(addr_text(vesk_test_access::by_dev_id(1)), board_a);
    char text[16];
    ASSERT_EQ(link.eth_device_address(1, text, sizeof text), 0);  // by number, not by list position
    EXPECT_EQ(std::string(text), board_a);
    auto* first = reinterpret_cast<server_info*>(vesk_test_access::list_head()->next);
    EXPECT_EQ(addr_text(first), board_a);
    EXPECT_TRUE(trace.contains("udp get server ip success 10.77.0.20.\n"));

    // The host side has the loopback adapter first: its pass finds nothing
    // and the Ethernet adapter's pass finds both boards.
    EXPECT_TRUE(trace.contains("get 2 mac.\n"));  // one address per adapter
    EXPECT_TRUE(trace.contains("ip2:127.0.0.1.\n"));
    EXPECT_TRUE(trace.contains("get server 0\r\n"));
    EXPECT_TRUE(trace.contains(std::string("ip1:") + host_ip + ".\n"));
    EXPECT_TRUE(trace.contains("get server 2\r\n"));
}

TEST_F(discovery_test, a_pass_reads_at_most_32_answers_and_ignores_echoes)
{
    std::vector<planned_answer> plan;
    plan.push_back({board_a, "ECHO--------", true});
    for (int i = 0; i < 33; ++i) plan.push_back({board_a, "BOARD-" + std::to_string(100000 + i)});
    answer_with(plan);
    char ids[32 * 12] = {};
    char count = 0;
    ASSERT_EQ(link.eth_device_poll(ids, &count), 0);
    EXPECT_EQ(count, 32);
    EXPECT_EQ(std::string(ids, 12), "BOARD-100000");
    EXPECT_EQ(std::string(ids + 31 * 12, 12), "BOARD-100031");
    // Numbered 0 to 31 in the list, and no further.
    char text[16];
    EXPECT_EQ(link.eth_device_address(31, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), board_a);
    EXPECT_EQ(link.eth_device_address(32, text, sizeof text), VESK_ERR_NO_DEVICE);
}

TEST_F(discovery_test, nothing_found_leaves_the_outputs_alone)
{
    answer_with({{board_a, "ECHO-ONLY---", true}});
    char ids[12];
    std::memset(ids, 'x', sizeof ids);
    char count = 7;
    EXPECT_EQ(link.eth_device_poll(ids, &count), VESK_ERR_NO_DEVICE);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(ids[0], 'x');
    EXPECT_GE(responder->requests, 2);  // every adapter's pass asked
}

TEST_F(discovery_test, open_by_machine_id_picks_the_first_in_list_order)
{
    ASSERT_TRUE(net.enter_board_side());
    scripted_peer at_ten(board_a, nullptr);
    scripted_peer at_twenty(board_b, nullptr);
    ASSERT_TRUE(at_ten.listening() && at_twenty.listening());
    answer_with({{board_b, "TWIN-BOARDS!"}, {board_a, "TWIN-BOARDS!"}});

    char ids[64];
    char count = 0;
    ASSERT_EQ(link.eth_device_poll(ids, &count), 0);
    ASSERT_EQ(count, 2);
    close_record closes;
    char id[] = "TWIN-BOARDS!";
    ASSERT_EQ(link.eth_device_open(id, &close_record::callback, &closes), 0);
    EXPECT_TRUE(link.eth_device_state());
    link.eth_device_close();
    EXPECT_EQ(at_ten.connections(), 1);
    EXPECT_EQ(at_twenty.connections(), 0);
    EXPECT_EQ(closes.last_dev_id, 1);  // .10 answered second
}

TEST_F(discovery_test, a_negative_index_opens_the_fixed_address_without_discovery)
{
    trace_capture trace;
    ASSERT_TRUE(net.enter_host_side());
    close_record closes;
    EXPECT_EQ(link.eth_device_open(-1, &close_record::callback, &closes), VESK_ERR_SOCKET);
    EXPECT_TRUE(trace.contains("tcp connect() server ip:192.168.8.123 failed.-1\n"));

    ASSERT_TRUE(net.enter_board_side());
    scripted_peer board("192.168.8.123", nullptr);
    ASSERT_TRUE(board.listening());
    ASSERT_TRUE(net.enter_host_side());
    ASSERT_EQ(link.eth_device_open(-1, &close_record::callback, &closes), 0);
    EXPECT_TRUE(link.eth_device_state());
    link.eth_device_close();
    EXPECT_EQ(closes.calls, 1);
    EXPECT_EQ(closes.last_dev_id, -1);
    EXPECT_FALSE(trace.contains("get 2 mac.\n"));  // no discovery ran
}

// Polls of one object from two threads and opens by index and by machine
// identifier from a third, for some seconds: every poll finds both boards,
// every open reaches one, and nothing is torn (run under ThreadSanitizer).
TEST_F(discovery_test, polls_and_opens_from_three_threads)
{
    ASSERT_TRUE(net.enter_board_side());
    scripted_peer at_ten(board_a, nullptr);
    scripted_peer at_twenty(board_b, nullptr);
    ASSERT_TRUE(at_ten.listening() && at_twenty.listening());
    answer_with({{board_b, "BOARD-TWENTY"}, {board_a, "BOARD-TEN---"}});
    char ids[32 * 12];
    char count = 0;
    ASSERT_EQ(link.eth_device_poll(ids, &count), 0);  // the opener has a list from the start

    std::atomic<bool> stop{false};
    std::atomic<int> polls{0}, bad_polls{0}, opens{0}, bad_opens{0};
    auto poller = [&] {
        while (!stop) {
            char ids[32 * 12];
            char count = 0;
            int r = link.eth_device_poll(ids, &count);
            ++polls;
            // The host side's loopback pass finds nothing, then its Ethernet pass both.
            if (r != 0 || count != 2 || std::string(ids, 12) != "BOARD-TWENTY") ++bad_polls;
        }
    };
    auto opener = [&] {
        vesk other;
        char twin[] = "BOARD-TEN---";
        for (int i = 0; !stop; ++i) {
            int r = i % 2 ? other.eth_device_open(i % 4 == 1 ? 0 : 1, nullptr, nullptr)
                          : other.eth_device_open(twin, nullptr, nullptr);
            ++opens;
            if (r != 0 || !other.eth_device_state()) ++bad_opens;
            other.eth_device_close();
        }
    };
    std::thread a(poller), b(poller), c(opener);
    vplat::sleep_ms(3000);
    stop = true;
    a.join();
    b.join();
    c.join();
    EXPECT_GE(polls, 4);
    EXPECT_GE(opens, 4);
    EXPECT_EQ(bad_polls, 0);
    EXPECT_EQ(bad_opens, 0);
}

// An address nobody holds behind a neighbour entry: the SYNs go out to a
// hardware address nobody has and vanish, as with a board switched off
// behind a switch. The connect gives up within its bound, not after the
// kernel's two minutes of retries, and fails as a refused one does.
TEST_F(discovery_test, a_connect_nobody_answers_fails_within_its_bound)
{
    const std::string silent = "10.77.0.99";
    ASSERT_TRUE(net.run_on_host_side("ip neigh replace " + silent + " lladdr 02:00:00:00:00:99 nud permanent dev " +
                                     net.host_device()));
    ASSERT_TRUE(net.enter_host_side());
    ASSERT_TRUE(vesk_test_seed_server(0, silent.c_str(), "SILENTBOARD1"));
    trace_capture trace;
    close_record closes;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(link.eth_device_open(0, &close_record::callback, &closes), VESK_ERR_SOCKET);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 10.0);
    EXPECT_GE(secs, 1.0);  // it did wait: the SYNs were not refused
    EXPECT_TRUE(trace.contains("tcp connect() server ip:" + silent + " failed.-1\n"));
    unsigned char b[4];
    EXPECT_EQ(link.eth_send_cmd(3, XFER_READ, 0, b, 4, nullptr), VESK_ERR_NOT_CONNECTED);
    EXPECT_EQ(closes.calls, 0);
}
