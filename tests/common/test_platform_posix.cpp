#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "test_platform.h"

namespace test_platform {

namespace {
int report_fd = -1;
}

child_outcome run_in_child(const std::function<int()>& body)
{
    child_outcome out;
    int fds[2];
    if (::pipe(fds) != 0) {
        out.why_not = "pipe failed";
        return out;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        out.why_not = "fork failed";
        return out;
    }
    if (child == 0) {
        ::close(fds[0]);
        report_fd = fds[1];
        ::_exit(body());
    }
    ::close(fds[1]);
    out.ran = true;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.output.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        out.exited = true;
        out.exit_code = WEXITSTATUS(status);
    }
    return out;
}

void child_report(const std::string& text)
{
    if (report_fd >= 0 && !text.empty()) {
        ssize_t n = ::write(report_fd, text.data(), text.size());
        (void)n;
    }
}

child_outcome run_program(const std::string& path, const std::vector<std::string>& args)
{
    child_outcome out;
    int fds[2];
    if (::pipe(fds) != 0) {
        out.why_not = "pipe failed";
        return out;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    std::vector<std::string> words{path};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int r = ::posix_spawn(&pid, path.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.output.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    if (r != 0) {
        out.why_not = "spawn failed";
        return out;
    }
    out.ran = true;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        out.exited = true;
        out.exit_code = WEXITSTATUS(status);
    }
    return out;
}

bool enter_empty_network_namespace()
{
    return ::unshare(CLONE_NEWNET) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
}

std::string make_temp_dir(const std::string& prefix)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    const char* made = ::mkdtemp(tmpl.data());
    return made ? std::string(made) : std::string();
}

}  // namespace test_platform
