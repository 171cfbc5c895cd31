// Hooks for tests and tools that have no multicast at hand: they fill the
// discovered-board list by hand, so a link can be opened by index to a
// board on loopback. Not part of the installed headers.
#pragma once

#include "vesk_export.h"

// Adds a board at ipv4 with this dev_id and 12-byte machine id to the list.
// Returns false when the address does not parse.
VESK_API bool vesk_test_seed_server(int dev_id, const char* ipv4, const char* machine_id);
// Empties the list.
VESK_API void vesk_test_clear_servers();

// Leaves Nagle's algorithm on for links opened afterwards (benchmarks show
// what turning it off buys). Off by default, as every real link has it.
VESK_API void vesk_test_keep_nagle(bool keep);
