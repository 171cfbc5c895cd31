// Private: switches that tests and benchmarks may turn; never set in use.
#pragma once

#include <atomic>

namespace vesk_tuning {
// Leave Nagle's algorithm on for new links.
extern std::atomic<bool> keep_nagle;
}  // namespace vesk_tuning
