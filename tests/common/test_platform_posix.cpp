#include <sched.h>
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
