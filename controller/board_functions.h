// Private: helpers of the board functions shared with other parts of the library.
#pragma once

#include "cnc_board.h"

// Sends RGB strip command 23 with the packed argument
// 1 | selector << 8 | count << 16 and len payload bytes. 0 or PELK_ERR_COMMAND.
int rgb_send_cmd(cnc::board& b, unsigned char type, unsigned char selector, unsigned char count, void* data, unsigned char len);

constexpr int RGB_STRIP_LEDS = 48;
constexpr int RGB_MAX_PERCENT = 100;
