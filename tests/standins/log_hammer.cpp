// Appends lines to a log through the wrapper's own log writer as fast as it can, so that several
// of these (and the wrapper itself) can contend for one file.
// Usage: log_hammer.exe <log path> <writer name> <line count>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    // An absolute path on a drive, walked as the wrapper does.
    const std::string path = argv[1];
    std::size_t name = 3;
    bool opened = platform::OpenLogRoot(path.substr(0, name));
    for (std::size_t end = path.find('\\', name); opened && end != std::string::npos;
         name = end + 1, end = path.find('\\', name)) {
        opened = platform::OpenLogFolder(path.substr(name, end - name)).opened;
    }
    if (!opened || !platform::OpenLogFile(path.substr(name)).opened) {
        return 1;
    }
    platform::KeepLog();
    const long count = std::strtol(argv[3], nullptr, 10);
    int failures = 0;
    for (long i = 0; i < count; ++i) {
        const std::string line = "SETUP WRAPPER: " + std::string(argv[2]) + " line " +
                                 std::to_string(i) + " " + std::string(40, 'x') + "\n";
        failures += platform::AppendToLog(line) ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
