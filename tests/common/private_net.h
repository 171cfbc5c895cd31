// Two private network namespaces joined by a veth pair, made for one test
// and removed afterwards. Nothing in them reaches the machine's own network.
#pragma once

#include <string>
#include <vector>

class private_net {
public:
    // host_addrs go on the host side, board_addrs on the board side (/24 each).
    private_net(const std::vector<std::string>& host_addrs, const std::vector<std::string>& board_addrs);
    ~private_net();
    private_net(const private_net&) = delete;
    private_net& operator=(const private_net&) = delete;

    bool ok() const { return made; }
    const std::string& why_not() const { return reason; }
    // Moves the calling thread into a side; threads it starts afterwards follow.
    bool enter_host_side();
    bool enter_board_side();
    // Brings the calling thread back to the namespace it started in.
    void leave();
    // Runs a shell command inside one side (for ip neigh, tc and the like).
    bool run_on_host_side(const std::string& cmd);
    bool run_on_board_side(const std::string& cmd);
    // Each side's end of the veth pair.
    const std::string& host_device() const { return host_dev; }
    const std::string& board_device() const { return board_dev; }

private:
    bool run(const std::string& cmd);
    bool enter(const std::string& ns);
    std::string host_ns, board_ns, host_dev, board_dev;
    int original_ns = -1;
    bool made = false;
    std::string reason;
};
