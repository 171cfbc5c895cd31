#include "interrupt.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {
// Every Ctrl-C counts; each thread remembers how many it has taken, so that
// with several boards at work every board's thread sees the same Ctrl-C.
std::atomic<unsigned> interrupts{0};
thread_local unsigned taken = 0;
void on_interrupt(int) { interrupts.fetch_add(1); }
}  // namespace

void catch_interrupt()
{
    struct sigaction sa{};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

bool take_interrupt()
{
    unsigned now = interrupts.load();
    if (now == taken) return false;
    taken = now;
    return true;
}

unsigned interrupt_count() { return interrupts.load(); }

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
