// Ctrl-C for the commands that run until the operator ends them, and yes/no
// questions asked on the controlling terminal.
#pragma once

#include <string>

// From now on Ctrl-C sets a flag instead of ending the program.
void catch_interrupt();
// True once per Ctrl-C: reading the flag clears it.
bool take_interrupt();
// Asks on the terminal; *asked false (and false returned) when there is none.
bool ask_yes_no(const std::string& question, bool* asked);
