// Connects to the board at the IPv4 address given, without discovery, reads
// its version word and identifier and prints them; exit status 0 when both
// came back. The Windows test script runs it under wine against the board
// program running on Linux, over loopback.
#include <cstdio>

#include "vesk.h"
#include "vesk_testing.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: remote_board_check IPV4\n", stderr);
        return 2;
    }
    if (!vesk_test_seed_server(0, argv[1], "REMOTE-CHECK")) return 2;
    vesk link;
    if (link.eth_device_open(0, nullptr, nullptr) != 0) {
        std::printf("connect to %s failed\n", argv[1]);
        return 1;
    }
    unsigned char version[4] = {}, id[12] = {};
    unsigned short got = 0;
    if (link.eth_send_cmd(3, XFER_READ, 0, version, 4, nullptr) != 0 ||
        link.eth_send_cmd(2, XFER_READ, 0, id, 12, &got) != 0 || got != 12) {
        std::printf("the board at %s did not answer\n", argv[1]);
        return 1;
    }
    std::printf("board at %s: firmware version %u.%u, identifier ", argv[1], version[1], version[0]);
    for (unsigned char b : id) std::printf("%02x", b);
    std::printf("\n");
    link.eth_device_close();
    return 0;
}
