// Private: assembling the interpreter's result text from its chunks.
#pragma once

#include <cstdint>

// Bytes the controller delivers per result read; a shorter chunk ends the text.
constexpr uint16_t RESULT_CHUNK = 1400;

// Reads ask bytes (1 to RESULT_CHUNK) of the result text into dst and stores
// the number delivered, at most ask, in *got. PELK_OK or a failure code.
using result_chunk_reader = int (*)(void* ctx, uint8_t* dst, uint16_t ask, unsigned short* got);

// Reads chunks into buffer until one comes back short or the capacity is
// used up, never asking for more than the room left; stores the total in
// *length (when given) and traces the last chunk. PELK_OK, or
// PELK_ERR_COMMAND at the first failed read (the chunks before it stay in
// buffer, *length is not touched).
int read_result_text(uint8_t* buffer, uint16_t capacity, uint16_t* length, result_chunk_reader read, void* ctx);
