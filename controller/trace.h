// Private: the library's diagnostic trace.
#pragma once

#include "vesk_export.h"

// Formats one trace text printf-style into a 1024-byte buffer and writes it
// to the platform's debug-output channel. A longer text is cut at 1022
// characters and ended with a line feed. Never fails and never stops the
// process.
void pelk_trace(const char* fmt, ...) VESK_PRINTF_FORMAT(1, 2);

constexpr int PELK_TRACE_BUFFER = 1024;
