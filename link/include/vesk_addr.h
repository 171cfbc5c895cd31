// The link's address type, shared by the link object and the platform layer.
#pragma once

#include <cstdint>

// IPv4 address and port; ip[] in network order, port in host order.
struct vesk_addr {
    uint8_t ip[4];
    uint16_t port;
};
