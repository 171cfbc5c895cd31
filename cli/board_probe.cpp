// board_probe: finds controller boards, connects to one and prints what it
// says about itself (version word and board identifier).
//
//   board_probe               discover, connect to the first board found
//   board_probe --static      connect to the fixed default address
//   board_probe --id TEXT     discover, connect to the board with this machine id
//   board_probe --at IPV4     connect to the board at this address, without discovery
#include <cstdio>
#include <cstring>
#include <string>

#include "vesk.h"
#include "vesk_testing.h"

namespace {

const char* PRODUCTS[] = {"M81", "M92", "R27", "R28"};
const char* VARIANTS[] = {"T2_T4", "T15", "T16"};

int usage()
{
    std::fputs("Usage: board_probe [--static | --id MACHINE_ID | --at IPV4]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool fixed = false;
    std::string wanted, at;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--static")) fixed = true;
        else if (!std::strcmp(argv[i], "--id") && i + 1 < argc) wanted = argv[++i];
        else if (!std::strcmp(argv[i], "--at") && i + 1 < argc) at = argv[++i];
        else return usage();
    }

    vesk link;
    int r;
    if (!at.empty()) {
        // Where multicast cannot reach (another system's loopback, wine), the
        // board's address is given and entered as if discovery had found it.
        std::printf("connecting to %s\n", at.c_str());
        if (!vesk_test_seed_server(0, at.c_str(), "PROBE-TARGET")) return usage();
        r = link.eth_device_open(0, nullptr, nullptr);
    } else if (fixed) {
        std::printf("connecting to the default address 192.168.8.123\n");
        r = link.eth_device_open(-1, nullptr, nullptr);
    } else {
        char ids[32 * 12] = {};
        char count = 0;
        if (link.eth_device_poll(ids, &count) != 0) {
            std::printf("no board answered discovery\n");
            return 1;
        }
        int pick = -1;
        for (int i = 0; i < count; ++i) {
            std::string id(ids + i * 12, 12);
            std::printf("found board %d: machine id [%.12s]\n", i, id.c_str());
            std::string shown = id.substr(0, id.find('\0'));
            if (pick < 0 && (wanted.empty() || shown == wanted)) pick = i;
        }
        if (pick < 0) {
            std::printf("no board with machine id [%s]\n", wanted.c_str());
            return 1;
        }
        r = link.eth_device_open(ids + pick * 12, nullptr, nullptr);
    }
    if (r != 0) {
        std::printf("connect failed (%d)\n", r);
        return 1;
    }

    unsigned char version[4] = {}, id[12] = {};
    if (link.eth_send_cmd(3, XFER_READ, 0, version, 4, nullptr) != 0 ||
        link.eth_send_cmd(2, XFER_READ, 0, id, 12, nullptr) != 0) {
        std::printf("the board did not answer\n");
        return 1;
    }
    unsigned product = version[3], variant = version[2] & 0x7F;
    std::printf("product %s, variant %s, firmware version %u.%u\n", product < 4 ? PRODUCTS[product] : "unknown",
                variant < 3 ? VARIANTS[variant] : "unknown", version[1], version[0]);
    std::printf("board identifier ");
    for (unsigned char b : id) std::printf("%02x", b);
    std::printf("\n");
    link.eth_device_close();
    return 0;
}
