// Reply deadlines per command. A board that misses one is taken as gone (the
// link closes as on a hang-up), so a deadline must cover the slowest honest
// answer: the short one only where the board answers from memory.
#include "reply_deadlines.h"

#include "commands.h"
#include "vesk.h"

namespace {

constexpr unsigned quick_ms = 3000;       // answered from memory
constexpr unsigned slow_ms = 120000;      // erase, format, flash programming
constexpr unsigned default_ms = VESK_REPLY_TIMEOUT_MS;  // file and data transfers

// Arguments of the SD card file command and of the update command that
// start long work on the board.
constexpr unsigned SD_ERASE = 8;
constexpr unsigned SD_FORMAT = 2048;
constexpr unsigned UPDATE_READ_PROGRESS = 8;

bool quick_machine_selector(unsigned arg)
{
    switch (arg) {
    case machine::PARSE_LINE:
    case machine::RESULTS:
    case machine::STATUS:
    case machine::STOP:
    case machine::CONTINUE:
    case machine::TOOL_SWITCH:
    case machine::RESET:
    case machine::DUST_SWITCH:
    case machine::LED_STATE: return true;
    default: return false;
    }
}

}  // namespace

unsigned reply_deadline_ms(unsigned char command, unsigned char, unsigned int arg)
{
    switch (command) {
    case 0:  // link probe
    case cmd::MCU_ID:
    case cmd::VERSION:
    case cmd::STATUS_LED:
    case cmd::BUZZER:
    case cmd::KEY:
    case cmd::RGB_STRIP:
    case cmd::FPGA_CONTROL: return quick_ms;
    case cmd::MACHINE: return quick_machine_selector(arg) ? quick_ms : default_ms;
    case cmd::FPGA_FLASH: return slow_ms;  // erasing the whole flash, programming each chunk
    case cmd::UPDATE: return arg == UPDATE_READ_PROGRESS ? quick_ms : slow_ms;
    case cmd::SD_FILE: return arg == SD_ERASE || arg == SD_FORMAT ? slow_ms : default_ms;
    default: return default_ms;
    }
}
