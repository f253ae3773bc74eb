// The options of one run: filled from the command line by app/, the log path rewritten by
// report/, read by every subsystem. Below all of them, so that none reaches up for it.
#pragma once

#include <string>

struct RunOptions {
    bool silent = false;
    bool remove = false;
    bool install = false;
    bool logRequested = false;
    std::string logPath;
    std::string debugLogArgument;
};

extern RunOptions runOptions;
