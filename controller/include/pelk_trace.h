// Where the libraries' diagnostic trace lines go.
#pragma once

#include "pelk_types.h"

// Receives one trace text (usually a line ending in a line feed) of this
// library or of the link below it, on the thread that traced. Calls are
// serialised.
typedef void (*pelk_trace_sink)(void* ctx, const char* text);

// Sends every later trace text to sink instead of the platform's debug
// output (standard error on Linux, the debugger channel on Windows); a null
// sink restores that. Process-wide.
PELK_API void pelk_set_trace_sink(pelk_trace_sink sink, void* ctx);
