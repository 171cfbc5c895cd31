#include "support.h"

#include <cstring>

#include "vesk_testing.h"

namespace {

uint32_t rd32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::vector<unsigned char> le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

std::vector<unsigned char> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

std::vector<unsigned char> le_float(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return le32(bits);
}

uint32_t get_le32(const unsigned char* p) { return rd32(p); }

float get_le_float(const unsigned char* p)
{
    uint32_t bits = rd32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

bool open_link_to(pelk_cnc* dev, const std::string& addr)
{
    vesk_test_clear_servers();
    const char id[12] = {'B', 'O', 'A', 'R', 'D', '-', 'T', 'E', 'S', 'T', '0', '1'};
    if (!vesk_test_seed_server(0, addr.c_str(), id)) return false;
    return dev->cnc_open_dev_index(0, nullptr, nullptr) == 0;
}

void board_test::SetUp()
{
    address = unique_loopback_address();
    board = std::make_unique<scripted_peer>(address, nullptr);
    ASSERT_TRUE(board->listening()) << "cannot listen at " << address;
    dev = cnc_dev_register();
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(open_link_to(dev, address));
    traces.clear();
}

void board_test::TearDown()
{
    if (dev) {
        dev->cnc_close_dev();
        // The library never frees device objects; the test gives the memory
        // back so that leak checkers stay quiet. The class has no destructor
        // to run.
        ::operator delete(static_cast<void*>(dev));
        dev = nullptr;
    }
    board.reset();
    vesk_test_clear_servers();
}
