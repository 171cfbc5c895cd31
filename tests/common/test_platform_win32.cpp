// Windows has no fork: a child runs the same test program again, limited to
// the current test, and the test's call of run_in_child runs the body there.
// There are no network namespaces either.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "test_platform.h"

namespace test_platform {

namespace {

constexpr const char* child_var = "TEST_PLATFORM_CHILD";
constexpr const char* report_var = "TEST_PLATFORM_REPORT";
constexpr DWORD child_limit_ms = 60000;

std::string current_test()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

bool in_child_for_this_test()
{
    const char* v = std::getenv(child_var);
    return v != nullptr && current_test() == v;
}

HANDLE report_handle()
{
    const char* v = std::getenv(report_var);
    return v ? reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(v, nullptr, 10))) : nullptr;
}

}  // namespace

child_outcome run_in_child(const std::function<int()>& body)
{
    child_outcome out;
    if (in_child_for_this_test()) {
        int code = body();
        std::fflush(nullptr);
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));  // no exit handlers, as after fork
    }

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE rd = nullptr, wr = nullptr;
    if (!::CreatePipe(&rd, &wr, &inherit, 0)) {
        out.why_not = "CreatePipe failed";
        return out;
    }
    ::SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = ::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::string test = current_test();
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" + std::wstring(test.begin(), test.end());
    ::SetEnvironmentVariableA(child_var, test.c_str());
    ::SetEnvironmentVariableA(report_var, std::to_string(reinterpret_cast<uintptr_t>(wr)).c_str());

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    BOOL started = ::CreateProcessW(exe, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableA(child_var, nullptr);
    ::SetEnvironmentVariableA(report_var, nullptr);
    ::CloseHandle(wr);
    if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
    if (!started) {
        ::CloseHandle(rd);
        out.why_not = "CreateProcess failed";
        return out;
    }
    out.ran = true;
    // A child that hangs is ended after the limit and reported as not
    // exited; its few report bytes wait in the pipe meanwhile.
    if (::WaitForSingleObject(pi.hProcess, child_limit_ms) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        out.exited = true;
        out.exit_code = static_cast<int>(code);
    } else {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
    }
    char buf[256];
    DWORD n = 0;
    while (::ReadFile(rd, buf, sizeof buf, &n, nullptr) && n > 0) out.output.append(buf, n);
    ::CloseHandle(rd);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return out;
}

void child_report(const std::string& text)
{
    HANDLE h = report_handle();
    DWORD n = 0;
    if (h && !text.empty()) ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
}

child_outcome run_program(const std::string& path, const std::vector<std::string>& args)
{
    child_outcome out;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE rd = nullptr, wr = nullptr;
    if (!::CreatePipe(&rd, &wr, &inherit, 0)) {
        out.why_not = "CreatePipe failed";
        return out;
    }
    ::SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    std::string cmd = "\"" + path + "\"";
    for (const auto& a : args) cmd += " \"" + a + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = wr;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL started = ::CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(wr);
    if (!started) {
        ::CloseHandle(rd);
        out.why_not = "CreateProcess failed";
        return out;
    }
    out.ran = true;
    if (::WaitForSingleObject(pi.hProcess, child_limit_ms) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        out.exited = true;
        out.exit_code = static_cast<int>(code);
    } else {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
    }
    char buf[256];
    DWORD n = 0;
    while (::ReadFile(rd, buf, sizeof buf, &n, nullptr) && n > 0) out.output.append(buf, n);
    ::CloseHandle(rd);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return out;
}

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
