// The libraries' diagnostic lines: hidden unless --verbose asks for them on
// standard error.
#pragma once

void library_trace_init(bool to_stderr);
