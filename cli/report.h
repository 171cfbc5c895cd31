// Printing a command's report: "key: value" lines or one JSON object.
#pragma once

#include "commands.h"

void print_report(const session& s, report_mode mode, bool json, int code);
// The report as one JSON object, with "ok" and, on failure, "error" and "exit_code".
std::string report_json(const std::vector<report_field>& report, int code);
