// --help and --version texts.
#pragma once

#include "commands.h"

void print_general_help();
void print_command_help(const command_spec& c);
void print_group_help(const std::string& group);
void print_version();
