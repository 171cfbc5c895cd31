// One LED state: index, state and a 32-bit value in a 6-byte block.
#include "commands.h"
#include "board_state.h"
#include "trace.h"
#include "wire.h"

int cnc::board::cnc_rgb_set_state(uint8_t index, uint8_t state, uint32_t value)
{
    unsigned char block[6];
    block[0] = index;
    block[1] = state;
    wire::put32(block + 2, value);
    if (command(cmd::MACHINE, XFER_WRITE, machine::LED_STATE, block, sizeof block) != PELK_OK)
        return PELK_ERR_COMMAND;
    pelk_trace("cnc rgb set state %d@%d.\n", state, static_cast<int>(value));
    return PELK_OK;
}
