#include "interrupt.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {
std::atomic<bool> flag{false};
void on_interrupt(int) { flag = true; }
}  // namespace

void catch_interrupt()
{
    struct sigaction sa{};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

bool take_interrupt() { return flag.exchange(false); }

bool ask_yes_no(const std::string& question, bool* asked)
{
    *asked = false;
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty) return false;
    *asked = true;
    std::fprintf(tty, "\n%s [y/N] ", question.c_str());
    std::fflush(tty);
    char line[64] = {};
    bool yes = false;
    if (std::fgets(line, sizeof line, tty)) yes = line[0] == 'y' || line[0] == 'Y';
    std::fclose(tty);
    return yes;
}
