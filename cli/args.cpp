#include "args.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "gcode/settings.h"

bool options::has(const std::string& name) const { return std::find(seen.begin(), seen.end(), name) != seen.end(); }

namespace {

bool read_number(const std::string& text, uint64_t max, uint64_t& out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > max) return false;
    out = v;
    return true;
}

}  // namespace

bool parse_args(int argc, char** argv, options& o, std::string& why)
{
    bool only_words = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (only_words || a.size() < 2 || a[0] != '-' || (a[1] != '-' && a != "-h")) {
            // A lone "-" and negative numbers are words too.
            o.words.push_back(a);
            continue;
        }
        if (a == "--") {
            only_words = true;
            continue;
        }
        if (a == "-h") a = "--help";
        std::string name = a.substr(2), value;
        bool has_value = false;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            has_value = true;
        }
        auto take_value = [&]() {
            if (has_value) return true;
            if (i + 1 >= argc) {
                why = "--" + name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto flag = [&](bool& f) {
            if (has_value) {
                why = "--" + name + " takes no value";
                return false;
            }
            f = true;
            return true;
        };
        bool ok = true;
        uint64_t n = 0;
        bool no_verify = false;
        if (name == "id") {
            ok = take_value();
            if (ok && (value.empty() || value.size() > 12)) {
                why = "--id needs a machine id of 1 to 12 characters";
                ok = false;
            }
            o.id = value;
        } else if (name == "address") {
            ok = take_value();
            unsigned a, b, c, d;
            char end;
            if (ok && (std::sscanf(value.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) != 4 || a > 255 || b > 255 ||
                       c > 255 || d > 255)) {
                why = "--address needs an IPv4 address A.B.C.D, not '" + value + "'";
                ok = false;
            }
            o.address = ok ? std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." +
                                 std::to_string(d)
                           : value;
        } else if (name == "discover-timeout") {
            ok = take_value();
            if (ok && !read_number(value, 600000, n)) {
                why = "--discover-timeout needs milliseconds from 0 to 600000, not '" + value + "'";
                ok = false;
            }
            o.discover_wait_ms = uint32_t(n);
            o.discover_wait_set = true;
        } else if (name == "as") {
            ok = take_value();
            if (ok && value.empty()) {
                why = "--as needs a name for the card";
                ok = false;
            }
            o.as = value;
        } else if (name == "truncate") ok = flag(o.truncate);
        else if (name == "index") {
            ok = take_value();
            if (ok && !read_number(value, 31, n)) {
                why = "--index needs a number from 0 to 31, not '" + value + "'";
                ok = false;
            }
            o.index = int(n);
        } else if (name == "jobs") {
            ok = take_value();
            if (ok && (!read_number(value, 32, n) || n == 0)) {
                why = "--jobs needs a number of boards from 1 to 32, not '" + value + "'";
                ok = false;
            }
            o.jobs = unsigned(n);
        } else if (name == "from") {
            ok = take_value();
            if (ok && !read_number(value, UINT32_MAX, n)) {
                why = "--from needs a line number, not '" + value + "'";
                ok = false;
            }
            o.from_line = uint32_t(n);
            o.from_set = true;
        } else if (name == "size") {
            ok = take_value();
            if (ok && (!read_number(value, UINT32_MAX, n) || n == 0)) {
                why = "--size needs a byte count above 0, not '" + value + "'";
                ok = false;
            }
            o.size = uint32_t(n);
            o.size_set = true;
        } else if (name == "setting") {
            ok = take_value();
            // Checked against the defaults here so a mistyped key is a usage
            // error whatever settings the board turns out to have.
            auto scratch = gcode::machine_settings::defaults();
            std::string bad;
            if (ok && !gcode::apply_setting(scratch, value, &bad)) {
                why = "--setting " + value + ": " + bad;
                ok = false;
            }
            o.settings.push_back(value);
        } else if (name == "capacity") {
            ok = take_value();
            if (ok && (!read_number(value, UINT32_MAX, n) || n == 0)) {
                why = "--capacity needs a byte count above 0, not '" + value + "'";
                ok = false;
            }
            o.capacity = n;
            o.capacity_set = true;
        } else if (name == "record") {
            ok = take_value();
            if (ok && value.empty()) {
                why = "--record needs a file name";
                ok = false;
            }
            o.record = value;
        } else if (name == "skip-same") ok = flag(o.skip_same);
        else if (name == "static") ok = flag(o.use_static);
        else if (name == "all") ok = flag(o.all);
        else if (name == "json") ok = flag(o.json);
        else if (name == "no-verify") {
            ok = flag(no_verify);
            o.verify = false;
        } else if (name == "watch") ok = flag(o.watch);
        else if (name == "check") ok = flag(o.check);
        else if (name == "force") ok = flag(o.force);
        else if (name == "continue-at-stops") ok = flag(o.continue_at_stops);
        else if (name == "yes") ok = flag(o.yes);
        else if (name == "verbose") ok = flag(o.verbose);
        else if (name == "help") ok = flag(o.help);
        else if (name == "version") ok = flag(o.version);
        else {
            why = "unknown option --" + name;
            ok = false;
        }
        if (!ok) return false;
        o.seen.push_back(name);
    }
    int choices = (o.id.empty() ? 0 : 1) + (o.index >= 0 ? 1 : 0) + (o.use_static ? 1 : 0) + (o.all ? 1 : 0) +
                  (o.address.empty() ? 0 : 1);
    if (choices > 1) {
        why = "choose a board with only one of --id, --index, --address, --static and --all";
        return false;
    }
    if (o.jobs && !o.all) {
        why = "--jobs goes with --all";
        return false;
    }
    return true;
}
