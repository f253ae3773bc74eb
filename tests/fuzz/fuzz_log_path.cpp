// Log-path resolution with environment values and current folders of every length.
#include "fake_platform.h"
#include "fuzz_input.h"
#include "record/run_options.h"
#include "report/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ScriptMachine(input);
    runOptions.logRequested = true;
    runOptions.logPath = input.Text();
    const std::string typed = runOptions.logPath;
    try {
        if (ResolveLogPath()) {
            CheckAcceptedLogPath(runOptions.logPath);
        }
    } catch (const FakeExit& exit) {
        // Only an unreadable current folder ends resolution, and only for a bare file name.
        if (exit.code != 2 || typed.find_first_of("/\\") != std::string::npos ||
            (!typed.empty() && typed[0] == '%')) {
            __builtin_trap();
        }
    }
    return 0;
}
