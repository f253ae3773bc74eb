// The whole wrapper, from an argument vector to its exit, on a machine scripted by the input.
#include "fake_platform.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ScriptMachine(input);
    const int exitCode = RunWrapper(input.Texts(12));
    CheckRun(exitCode);
    CheckNothingRemovedInVain(exitCode);
    return 0;
}
