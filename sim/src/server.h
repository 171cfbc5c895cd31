// The board's two listening loops; each runs on its own thread until
// impl::run is cleared.
#pragma once

#include "faults.h"
#include "impl.h"

namespace bsim {

void serve_tcp(board::impl& b);
// Carries out one request frame and plans its reply through the fault plan
// (lock taken here); frame_no counts the frames of the connection from 1.
void plan_answer(board::impl& b, const request& r, uint64_t frame_no, std::vector<uint8_t>& out, send_plan& plan);
void serve_udp(board::impl& b);
// Opens the discovery sockets; false with a reason.
bool open_discovery(board::impl& b, std::string* why);

}  // namespace bsim
