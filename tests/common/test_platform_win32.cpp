// Windows has neither fork nor network namespaces: the tests that need them
// report themselves skipped with the reason given here.
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "test_platform.h"

namespace test_platform {

child_outcome run_in_child(const std::function<int()>&)
{
    child_outcome out;
    out.why_not = "Windows cannot fork a copy of a running process";
    return out;
}

void child_report(const std::string&) {}

bool enter_empty_network_namespace() { return false; }

std::string make_temp_dir(const std::string& prefix)
{
    std::error_code ec;
    auto base = std::filesystem::temp_directory_path(ec);
    if (ec) return "";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        auto dir = base / (prefix + std::to_string(::GetCurrentProcessId()) + "_" +
                           std::to_string(::GetTickCount64() % 100000) + "_" + std::to_string(attempt));
        if (std::filesystem::create_directory(dir, ec)) return dir.string();
    }
    return "";
}

}  // namespace test_platform
