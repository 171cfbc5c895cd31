// Where the platform has no network namespaces (Windows, also under wine),
// the private network is never made and its tests skip with the reason.
#include "private_net.h"

private_net::private_net(const std::vector<std::string>&, const std::vector<std::string>&)
{
    reason = "no network namespaces on this platform (multicast between private networks needs them)";
}

private_net::~private_net() = default;

bool private_net::run(const std::string&) { return false; }
bool private_net::enter(const std::string&) { return false; }
bool private_net::enter_host_side() { return false; }
bool private_net::enter_board_side() { return false; }
void private_net::leave() {}
bool private_net::run_on_host_side(const std::string&) { return false; }
