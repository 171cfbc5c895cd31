#include "report.h"

#include <cstdio>

#include "exit_codes.h"
#include "output.h"

std::string report_json(const std::vector<report_field>& report, int code)
{
    json_object o;
    o.boolean("ok", code == rc::ok);
    for (const auto& f : report) o.raw(f.key, f.json);
    if (code != rc::ok) {
        o.str("error", last_failure());
        o.integer("exit_code", code);
    }
    return o.text();
}

void print_report(const session& s, report_mode mode, bool json, int code)
{
    if (mode == report_mode::none) return;
    if (json) {
        std::printf("%s\n", report_json(s.report, code).c_str());
        return;
    }
    if (mode != report_mode::always) return;
    size_t width = 0;
    for (const auto& f : s.report) width = std::max(width, f.key.size());
    for (const auto& f : s.report) {
        std::string key = f.key;
        key.resize(width, ' ');
        std::printf("%s  %s\n", key.c_str(), f.text.c_str());
    }
}
