// pelkctl: the controller boards from a shell, for factory lines and
// service scripts. Parses the command line, chooses the board and hands over
// to the command; every command returns its exit code.
#include <cstdio>
#include <cstring>

#include "all_boards.h"
#include "commands.h"
#include "exit_codes.h"
#include "help.h"
#include "library_trace.h"
#include "output.h"
#include "record.h"
#include "report.h"

namespace {

bool accepts(const command_spec& c, const std::string& option)
{
    static const char* const everywhere[] = {"help", "version", "verbose"};
    for (const char* e : everywhere)
        if (option == e) return true;
    std::string list = std::string(" ") + c.options + " ";
    bool listed = list.find(" " + option + " ") != std::string::npos;
    // Commands that work without a board may still list the board choice.
    if (option == "id" || option == "index" || option == "static" || option == "address") return c.needs_board || listed;
    // --jobs is --all's own.
    if (option == "jobs") return list.find(" all ") != std::string::npos;
    // Every command that looks for boards may wait longer for them.
    if (option == "discover-timeout") return c.needs_board || listed || std::strcmp(c.name, "discover") == 0;
    return listed;
}

int usage_error(const std::string& why)
{
    say("%s", why.c_str());
    std::fputs("Try 'pelkctl --help'.\n", stderr);
    return rc::usage;
}

}  // namespace

int main(int argc, char** argv)
{
    options o;
    std::string why;
    if (!parse_args(argc, argv, o, why)) return usage_error(why);
    library_trace_init(o.verbose);
    set_verbose(o.verbose);

    if (o.version) {
        print_version();
        return rc::ok;
    }
    if (o.words.empty()) {
        if (o.help) {
            print_general_help();
            return rc::ok;
        }
        return usage_error("no command given");
    }
    size_t used = 0;
    const command_spec* c = find_command(o.words, &used);
    if (!c) {
        if (is_group(o.words[0]) && (o.words.size() == 1 || o.help)) {
            if (o.help) {
                print_group_help(o.words[0]);
                return rc::ok;
            }
            return usage_error("'" + o.words[0] + "' needs a subcommand (pelkctl " + o.words[0] + " --help)");
        }
        std::string name = o.words[0] + (is_group(o.words[0]) && o.words.size() > 1 ? " " + o.words[1] : "");
        return usage_error("unknown command '" + name + "'");
    }
    if (o.help) {
        print_command_help(*c);
        return rc::ok;
    }
    args_list args(o.words.begin() + long(used), o.words.end());
    if (int(args.size()) < c->min_args || int(args.size()) > c->max_args)
        return usage_error(std::string("wrong number of arguments; usage: pelkctl ") + c->name + " " + c->synopsis);
    for (const auto& name : o.seen)
        if (!accepts(*c, name)) return usage_error("--" + name + " does not go with " + c->name);

    session s;
    s.discover_wait_ms = o.discover_wait_ms;
    if (o.all) return run_on_all_boards(s, o, *c, args);
    int code = rc::ok;
    if (c->needs_board) code = s.connect(o);
    if (code == rc::ok) {
        record_context rec = record_begin(s, o, *c);
        code = c->run(s, o, args);
        code = record_end(rec, s, o, *c, args, code);
    }
    print_report(s, c->report, o.json, code);
    s.close();
    std::fflush(stdout);
    return code;
}
