#include "app/options.h"
#include "platform/platform.h"

#ifdef __MINGW32__
// Arguments reach the wrapper as typed: a "*" in a log path must not be expanded to file names.
extern "C" {
int _dowildcard = 0;
}
#endif

int main(int argc, char** argv) {
    platform::PrepareProcess();
    RunEntry(argc, argv);
}
