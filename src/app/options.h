// The options of one run, filled from the command line and read by every subsystem.
#pragma once

#include <string>

struct RunOptions {
    bool silent = false;
    bool remove = false;
    bool install = false;
    bool logRequested = false;
    std::string logPath;
    // Set once the log file is open and held, to the end of the run.
    bool logHeld = false;
    std::string debugLogArgument;
};

extern RunOptions runOptions;

bool ParseArgument(const std::string& argument);
void PrintUsage();

// Never returns: ends the process with a refusal or hands over to the run sequence.
[[noreturn]] void RunEntry(int argc, const char* const* argv);
