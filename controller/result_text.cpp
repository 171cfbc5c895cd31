// The result text loop: chunk reads that never go beyond the caller's buffer.
#include "result_text.h"

#include <algorithm>

#include "pelk_types.h"
#include "trace.h"

int read_result_text(uint8_t* buffer, uint16_t capacity, uint16_t* length, result_chunk_reader read, void* ctx)
{
    // Chunks of 1400 bytes until one comes back short. No read asks for more
    // than the room left in the caller's buffer; when the buffer fills up
    // before the text ends, the read stops there and the rest of the text
    // stays with the controller for the next call.
    uint16_t offset = 0;
    uint16_t last = 0;
    bool full = false;
    for (;;) {
        uint16_t ask = static_cast<uint16_t>(std::min<unsigned>(RESULT_CHUNK, capacity - offset));
        if (ask == 0) {
            full = true;
            break;
        }
        unsigned short got = 0;
        if (read(ctx, buffer + offset, ask, &got) != PELK_OK) return PELK_ERR_COMMAND;
        if (got != RESULT_CHUNK) {
            last = got;
            full = got == ask;
            break;
        }
        offset = static_cast<uint16_t>(offset + got);
    }
    pelk_trace("[result]:get %d bytes.\n", last);
    if (full)
        pelk_trace("[result]:buffer of %d bytes is full, any rest of the text is left for the next read.\n",
                   capacity);
    if (length) *length = static_cast<uint16_t>(offset + last);
    return PELK_OK;
}
