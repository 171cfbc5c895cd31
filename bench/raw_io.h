// Blocking socket reads and writes of whole buffers for the raw loops the
// library is measured against.
#pragma once

#include <cstddef>
#include <cstdint>

bool read_exact(intptr_t s, unsigned char* p, size_t n);
bool send_all(intptr_t s, const unsigned char* p, size_t n);
