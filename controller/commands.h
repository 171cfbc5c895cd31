// Private: the board's command codes and the selectors of the machine command.
#pragma once

namespace cmd {

constexpr unsigned char MCU_ID = 2;
constexpr unsigned char VERSION = 3;
constexpr unsigned char UPDATE = 9;
constexpr unsigned char FRAM = 16;
constexpr unsigned char STATUS_LED = 17;
constexpr unsigned char BUZZER = 18;
constexpr unsigned char KEY = 19;
constexpr unsigned char SD_DATA = 20;
constexpr unsigned char SD_FILE = 21;
constexpr unsigned char RGB_STRIP = 23;
constexpr unsigned char FPGA_FLASH = 32;
constexpr unsigned char FPGA_CONTROL = 33;
constexpr unsigned char MACHINE = 48;
constexpr unsigned char NC_DATA = 49;
constexpr unsigned char USER_DATA = 50;

}  // namespace cmd

// Selectors (the argument) of the machine command.
namespace machine {

constexpr unsigned START_NC = 1;
constexpr unsigned PARSE_LINE = 3;
constexpr unsigned RESULTS = 4;
constexpr unsigned STATUS = 5;
constexpr unsigned STOP = 6;
constexpr unsigned CONTINUE = 7;
constexpr unsigned WRITE_PARAM = 8;
constexpr unsigned READ_PARAM = 9;
constexpr unsigned SAVE_PARAM = 10;
constexpr unsigned LOAD_PARAM = 11;
constexpr unsigned TOOL_SWITCH = 12;
constexpr unsigned CALIBRATE = 13;
constexpr unsigned RESET = 14;
constexpr unsigned DUST_SWITCH = 15;
constexpr unsigned AR = 17;
constexpr unsigned LED_STATE = 18;

}  // namespace machine
