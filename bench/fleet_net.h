// A private network for a fleet of boards: one namespace holding a Linux
// bridge, one for the host side (joined to the bridge by an unshaped veth
// pair) and one per board, each joined by a veth pair shaped to a board's
// 100 Mbit/s Ethernet in both directions. Removed by the destructor.
#pragma once

#include <string>
#include <vector>

class fleet_net {
public:
    // Host at PREFIX.1, board i at PREFIX.(10 + i), all in PREFIX.0/24.
    fleet_net(const std::string& prefix, int boards);
    ~fleet_net();
    fleet_net(const fleet_net&) = delete;
    fleet_net& operator=(const fleet_net&) = delete;

    bool ok() const { return made; }
    const std::string& why_not() const { return reason; }
    std::string board_address(int i) const;
    // Moves the calling thread into a namespace; threads it starts afterwards follow.
    bool enter_board(int i);
    bool enter_host();
    void leave();
    // The command prefix that runs a program on the host side.
    std::string host_exec() const { return "ip netns exec " + host_ns + " "; }

private:
    bool run(const std::string& cmd);
    bool enter(const std::string& ns);
    std::string prefix, host_ns, bridge_ns;
    std::vector<std::string> board_ns;
    int original_ns = -1;
    bool made = false;
    std::string reason;
};
