#include "raw_io.h"

#include "vesk_platform.h"

bool read_exact(intptr_t s, unsigned char* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        long r = vplat::recv_bytes(s, p + got, n - got);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool send_all(intptr_t s, const unsigned char* p, size_t n)
{
    return vplat::send_bytes(s, p, n) == static_cast<long>(n);
}
