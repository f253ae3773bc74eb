// The removal and setup command lines, built from whatever log path resolution accepts.
#include "commands/commands.h"
#include "fake_platform.h"
#include "fuzz_input.h"
#include "record/run_options.h"
#include "report/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ScriptMachine(input);
    const std::uint8_t flags = input.Byte();
    runOptions.silent = (flags & 1u) != 0;
    runOptions.logRequested = (flags & 2u) != 0;
    runOptions.logPath = input.Text();
    try {
        if (runOptions.logRequested) {
            if (!ResolveLogPath()) {
                return 0;
            }
            runOptions.debugLogArgument = "/debuglog\"" + runOptions.logPath + "\"";
        }
        if (RemovalCommand().empty() || SetupCommand().empty()) {
            __builtin_trap(); // every accepted path fits both command lines
        }
        RemoveProduct();
        const bool launched = LaunchPackageSetup((flags & 4u) != 0) == Outcome::Done;
        platform::EndProcess(launched ? 0 : 5);
    } catch (const FakeExit& exit) {
        CheckRun(exit.code);
    }
    return 0;
}
