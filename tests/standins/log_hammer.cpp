// Appends lines to a log through the wrapper's own log writer as fast as it can, so that several
// of these (and the wrapper itself) can contend for one file.
// Usage: log_hammer.exe <log path> <writer name> <line count>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "record/run_options.h"
#include "report/report.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    // Checked and held as the wrapper does.
    runOptions.logRequested = true;
    runOptions.logPath = argv[1];
    if (!ResolveLogPath()) {
        return 1;
    }
    const long count = std::strtol(argv[3], nullptr, 10);
    int failures = 0;
    for (long i = 0; i < count; ++i) {
        const std::string line = "SETUP WRAPPER: " + std::string(argv[2]) + " line " +
                                 std::to_string(i) + " " + std::string(40, 'x') + "\n";
        failures += platform::AppendToLog(line) ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
