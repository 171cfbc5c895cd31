// The controller's user-data area, addressed by byte offset.
#include "commands.h"
#include "board_state.h"
#include "trace.h"

int cnc::board::cnc_write_user_data(uint8_t* data, uint32_t offset, uint32_t size)
{
    pelk_trace("cnc write user data from %d - %d bytes.\n", static_cast<int>(offset), static_cast<int>(size));
    // The link carries 16-bit lengths; the size is taken modulo 65536.
    unsigned short len = data ? static_cast<unsigned short>(size) : 0;
    return command(cmd::USER_DATA, XFER_WRITE, offset, data, len);
}

int cnc::board::cnc_read_user_data(uint8_t* data, uint32_t offset, uint32_t size)
{
    pelk_trace("cnc read user data from %d - %d bytes.\n", static_cast<int>(offset), static_cast<int>(size));
    unsigned short len = data ? static_cast<unsigned short>(size) : 0;
    return command(cmd::USER_DATA, XFER_READ, offset, data, len);
}
