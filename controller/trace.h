// Private: the library's diagnostic trace.
#pragma once

// Formats one trace text printf-style into a 1024-byte buffer and writes it
// to the platform's debug-output channel. A longer text is cut at 1022
// characters and ended with a line feed. Never fails and never stops the
// process.
void pelk_trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

constexpr int PELK_TRACE_BUFFER = 1024;
