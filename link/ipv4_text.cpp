// Dotted IPv4 text and back, without the socket layer (so it works before
// and after the platform's sockets are started).
#include <cstdio>

#include "vesk_platform.h"

namespace vplat {

bool parse_ipv4(const char* text, vesk_addr* out)
{
    vesk_addr a{};
    if (text == nullptr || text[0] == '\0') {
        *out = a;  // wildcard
        return true;
    }
    // Exactly four decimal parts of 0 to 255, no leading zeros, nothing else.
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *p++ != '.') return false;
        if (*p < '0' || *p > '9') return false;
        unsigned v = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            if (digits > 0 && v == 0) return false;
            v = v * 10 + static_cast<unsigned>(*p++ - '0');
            if (++digits > 3 || v > 255) return false;
        }
        a.ip[part] = static_cast<uint8_t>(v);
    }
    if (*p != '\0') return false;
    a.port = out->port;
    *out = a;
    return true;
}

std::string format_ipv4(const vesk_addr& addr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", addr.ip[0], addr.ip[1], addr.ip[2], addr.ip[3]);
    return buf;
}

}  // namespace vplat
