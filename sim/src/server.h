// The board's two listening loops; each runs on its own thread until
// impl::run is cleared.
#pragma once

#include "impl.h"

namespace bsim {

void serve_tcp(board::impl& b);
void serve_udp(board::impl& b);
// Opens the discovery sockets; false with a reason.
bool open_discovery(board::impl& b, std::string* why);

}  // namespace bsim
