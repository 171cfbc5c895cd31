// Private: the platform's default destination of trace texts.
#pragma once

namespace vplat {
void debug_default_write(const char* text);
}
