// Test support for the controller-access library: a fixture whose link is
// open to the scripted peer (tests/common) on a loopback address of its own,
// and little-endian helpers.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pelk.h"
#include "scripted_peer.h"
#include "trace_capture.h"

// Little-endian helpers for building expected payloads.
std::vector<unsigned char> le16(uint16_t v);
std::vector<unsigned char> le32(uint32_t v);
std::vector<unsigned char> le_float(float f);
uint32_t get_le32(const unsigned char* p);
float get_le_float(const unsigned char* p);

// A fresh device object whose link is open to a scripted board.
class board_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string address;
    std::unique_ptr<scripted_peer> board;
    pelk_cnc* dev = nullptr;
    trace_capture traces;
};

// Opens the library's link to addr by seeding the discovery list.
bool open_link_to(pelk_cnc* dev, const std::string& addr);
