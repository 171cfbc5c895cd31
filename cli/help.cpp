#include "help.h"

#include <cstdio>
#include <cstring>

#include "exit_codes.h"
#include "project_version.h"

#ifndef PELKCTL_VERSION
#define PELKCTL_VERSION "0.0"
#endif

namespace {

void print_exit_codes()
{
    std::printf("\nExit codes:\n");
    for (const auto& d : rc::all()) std::printf("  %3d  %s\n", d.code, d.text);
    std::printf("With --all the code is that of the first board that failed.\n");
}

void print_board_choice()
{
    std::printf("\nChoosing the board (commands that talk to one):\n"
                "  --id MACHINE_ID   the board with this machine id (as discover shows it)\n"
                "  --index N         the board at position N of the discover list (boards in\n"
                "                    address order)\n"
                "  --address A.B.C.D the board at this address: the one that answers discovery\n"
                "                    from it, or else the board there reached directly (on\n"
                "                    another subnet; its machine id and index stay unknown)\n"
                "  --static          the board at the fixed address 192.168.8.123\n"
                "  (none)            discovery must find exactly one board\n"
                "  --all             every discovered board, all at once, with a table of\n"
                "                    results by index (fpga write, mcu write, sd put, info);\n"
                "                    progress comes as lines that name the board\n"
                "  --jobs N          with --all, at most N boards at once (default: all;\n"
                "                    --jobs 1 takes them in turn)\n"
                "  --discover-timeout MS  keep asking until the board answers, up to MS\n"
                "                    milliseconds (each discovery pass waits about 100 ms\n"
                "                    for answers; the default is one pass)\n");
}

}  // namespace

void print_general_help()
{
    std::printf("Usage: pelkctl [OPTIONS] COMMAND [ARGS...]\n\n"
                "Drives CNC controller boards on the local network from a shell: find them,\n"
                "identify them, flash them, run NC programs and keep their settings.\n"
                "Messages and progress go to standard error; data and --json output to\n"
                "standard output.\n\nCommands:\n");
    for (const auto& c : command_table()) {
        std::string head = std::string(c.name) + (*c.synopsis ? " " : "") + c.synopsis;
        std::printf("  %-34s %s\n", head.c_str(), c.summary);
    }
    print_board_choice();
    std::printf("\nOptions:\n"
                "  --json            data as JSON on standard output\n"
                "  --no-verify       skip the verification after a write\n"
                "  --verbose         what pelkctl does (discovery passes, the board chosen,\n"
                "                    connecting) and the libraries' diagnostic lines, on\n"
                "                    standard error\n"
                "  -h, --help        this text; COMMAND --help for one command\n"
                "  --version         the program's version\n"
                "Transfers show a progress bar on a terminal and plain lines otherwise, and end\n"
                "with a summary line giving the throughput. status --watch refreshes the\n"
                "status until Ctrl-C.\n");
    print_exit_codes();
}

void print_command_help(const command_spec& c)
{
    std::printf("Usage: pelkctl [BOARD] %s%s%s\n\n%s\n", c.name, *c.synopsis ? " " : "", c.synopsis, c.summary);
    std::printf("\n%s", c.details);
    if (*c.options) {
        std::string list;
        for (const char* p = c.options; *p;) {
            const char* end = std::strchr(p, ' ');
            size_t n = end ? size_t(end - p) : std::strlen(p);
            list += (list.empty() ? "--" : " --") + std::string(p, n);
            p += n + (end ? 1 : 0);
        }
        std::printf("\nOptions of this command: %s\n", list.c_str());
    }
    if (c.needs_board || std::strstr(c.options, "static")) print_board_choice();
    std::printf("\nExit codes: see pelkctl --help.\n");
}

void print_group_help(const std::string& group)
{
    std::printf("Usage: pelkctl [BOARD] %s SUBCOMMAND ...\n\nSubcommands:\n", group.c_str());
    for (const auto& c : command_table())
        if (std::strncmp(c.name, group.c_str(), group.size()) == 0 && c.name[group.size()] == ' ') {
            std::string head = std::string(c.name) + (*c.synopsis ? " " : "") + c.synopsis;
            std::printf("  %-34s %s\n", head.c_str(), c.summary);
        }
    std::printf("\npelkctl %s SUBCOMMAND --help tells more; exit codes: pelkctl --help.\n", group.c_str());
}

void print_version() { std::printf("pelkctl %s\n", PROJECT_VERSION_TEXT); }
