#include "app/options.h"
#include "app/refuse.h"
#include "app/run_sequence.h"
#include "platform/platform.h"
#include "report/report.h"

void RunEntry(int argc, const char* const* argv) {
    if (argc <= 1) {
        PrintUsage();
        platform::EndProcess(1);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!ParseArgument(argument)) {
            // Concatenated, never formatted: the argument may hold "%" and is reported whole.
            Refuse("\nError in Input File: please check usage.\n Line: " + argument + "\n", 1);
        }
    }
    if (runOptions.silent && !runOptions.remove) {
        runOptions.install = true;
    }
    if (runOptions.logRequested) {
        if (!ResolveLogPath()) {
            runOptions.logRequested = false; // a refused path is never written to
            Refuse("Invalid log file path provided\n", 2);
        }
        runOptions.debugLogArgument = "/debuglog\"" + runOptions.logPath + "\"";
    }
    if (runOptions.remove && runOptions.install) {
        Refuse("Invalid input parameters\n", 1);
    }
    RunSequence();
}
