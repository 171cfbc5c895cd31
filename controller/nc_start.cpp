// Starting an NC program on the controller. The pipeline (numbering, SD card
// comparison, start command, download) is not built yet: the operation
// writes its trace line and fails without sending anything.
#include "device.h"
#include "trace.h"

int pelk::cnc_start_nc_file(uint32_t start_line, char* path, uint8_t check)
{
    (void)check;
    pelk_trace("start parser file %s from %d lines\n", path ? path : "", static_cast<int>(start_line));
    return PELK_ERR_COMMAND;
}
