// The table of subcommands: names, arguments, options they accept, whether
// they need a board, and the functions that run them.
#pragma once

#include <string>
#include <vector>

#include "args.h"
#include "session.h"

using args_list = std::vector<std::string>;
using command_fn = int (*)(session&, const options&, const args_list&);

// How a command's report (session::report) reaches standard output.
enum class report_mode {
    none,       // the command prints its own output
    json_only,  // with --json as one object, else nothing (messages go to stderr)
    always,     // with --json as one object, else as "key: value" lines
};

struct command_spec {
    const char* name;      // "fpga write"
    int min_args, max_args;
    const char* options;   // accepted command options, e.g. "json no-verify all"
    bool needs_board;
    report_mode report;
    command_fn run;
    const char* synopsis;  // arguments, e.g. "FILE"
    const char* summary;   // one line
    const char* details;   // the subcommand's --help text after the synopsis
};

const std::vector<command_spec>& command_table();
// The command named by the leading words; *used is the number of words it took.
const command_spec* find_command(const std::vector<std::string>& words, size_t* used);
// Group words ("fpga", "sd", ...) whose second word names the command.
bool is_group(const std::string& word);

// Command functions, one file per group.
int cmd_discover(session&, const options&, const args_list&);
int cmd_info(session&, const options&, const args_list&);
int cmd_status(session&, const options&, const args_list&);
int cmd_gcode(session&, const options&, const args_list&);
int cmd_stop(session&, const options&, const args_list&);
int cmd_continue(session&, const options&, const args_list&);
int cmd_reset(session&, const options&, const args_list&);
int cmd_home(session&, const options&, const args_list&);
int cmd_fpga_write(session&, const options&, const args_list&);
int cmd_fpga_read(session&, const options&, const args_list&);
int cmd_fpga_erase(session&, const options&, const args_list&);
int cmd_mcu_write(session&, const options&, const args_list&);
int cmd_sd_put(session&, const options&, const args_list&);
int cmd_sd_get(session&, const options&, const args_list&);
int cmd_sd_rm(session&, const options&, const args_list&);
int cmd_sd_stat(session&, const options&, const args_list&);
int cmd_sd_ls(session&, const options&, const args_list&);
int cmd_sd_format(session&, const options&, const args_list&);
int cmd_update_spindle(session&, const options&, const args_list&);
int cmd_update_dc(session&, const options&, const args_list&);
int cmd_update_boot(session&, const options&, const args_list&);
int cmd_update_app(session&, const options&, const args_list&);
int cmd_run(session&, const options&, const args_list&);
int cmd_check(session&, const options&, const args_list&);
int cmd_params_get(session&, const options&, const args_list&);
int cmd_params_set(session&, const options&, const args_list&);
int cmd_params_save(session&, const options&, const args_list&);
int cmd_params_load(session&, const options&, const args_list&);
int cmd_userdata_get(session&, const options&, const args_list&);
int cmd_userdata_set(session&, const options&, const args_list&);
