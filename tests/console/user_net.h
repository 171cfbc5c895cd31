// The console tests' private network for an ordinary user: the test program,
// still single-threaded, moves into a new user and network namespace (the
// host side) and makes a second network namespace (the board side), joined
// by a veth pair. Everything disappears with the process.
#pragma once

#include <string>
#include <vector>

class user_net {
public:
    // Call before any thread starts. host_addrs on the host side, board_addrs
    // on the board side (/24 each); both sides route multicast over the pair.
    user_net(const std::vector<std::string>& host_addrs, const std::vector<std::string>& board_addrs);
    ~user_net();
    user_net(const user_net&) = delete;
    user_net& operator=(const user_net&) = delete;

    bool ok() const { return made; }
    const std::string& why_not() const { return reason; }
    // Moves the calling thread into a side; threads it starts afterwards follow.
    bool enter_host_side();
    bool enter_board_side();

private:
    bool fail(const std::string& why);
    int host_fd = -1, board_fd = -1;
    bool made = false;
    std::string reason;
};
