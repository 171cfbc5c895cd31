// The libraries' diagnostic lines: hidden unless --verbose asks for them on
// standard error. Discovery's lines also name the address of each board that
// answered, in the order the boards are numbered.
#pragma once

#include <string>
#include <vector>

void library_trace_init(bool to_stderr);
// Forgets the addresses seen so far; call before a discovery pass.
void library_trace_reset_addresses();
// Addresses of the boards that answered since the last reset, in order.
std::vector<std::string> library_trace_addresses();
