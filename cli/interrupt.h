// Ctrl-C for the commands that run until the operator ends them, and yes/no
// questions asked on the controlling terminal.
#pragma once

#include <string>

// From now on Ctrl-C sets a flag instead of ending the program.
void catch_interrupt();
// True once per Ctrl-C for each thread that asks: a Ctrl-C reaches every
// thread, and reading it clears it for the calling thread only.
bool take_interrupt();
// How many Ctrl-Cs came since the program started.
unsigned interrupt_count();
// Asks on the terminal; *asked false (and false returned) when there is none.
bool ask_yes_no(const std::string& question, bool* asked);
