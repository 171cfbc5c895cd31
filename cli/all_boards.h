// --all: one command on every discovered board in turn, then a table.
#pragma once

#include "commands.h"

int run_on_all_boards(session& s, const options& o, const command_spec& c, const args_list& args);
