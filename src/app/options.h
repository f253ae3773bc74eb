// The command line: its options, the usage text, and the entry that reads them.
#pragma once

#include <string>

#include "record/run_options.h"

bool ParseArgument(const std::string& argument);
void PrintUsage();

// Never returns: ends the process with a refusal or hands over to the run sequence.
[[noreturn]] void RunEntry(int argc, const char* const* argv);
