// --all: one command on every discovered board, several boards at once (each
// on a thread with its own session and connection, --jobs bounding how many),
// then a table or JSON array of the results in index order.
#pragma once

#include "commands.h"

int run_on_all_boards(session& s, const options& o, const command_spec& c, const args_list& args);
