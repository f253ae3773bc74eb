#include "app/options.h"

#include <cstddef>

#include "app/version.h"
#include "platform/characters.h"
#include "platform/platform.h"

namespace {

enum class Effect { Silent, Remove, Install, LogPath };

struct OptionRow {
    const char* prefix;
    std::size_t length;
    Effect effect;
};

// Matched in this order; the first equal prefix decides.
constexpr OptionRow kOptionTable[] = {
    {"/s", 2, Effect::Silent},   {"-s", 2, Effect::Silent},   {"/r", 2, Effect::Remove},
    {"-r", 2, Effect::Remove},   {"/a", 2, Effect::Install},  {"-a", 2, Effect::Install},
    {"/f2", 3, Effect::LogPath}, {"-f2", 3, Effect::LogPath},
};

// The option letters are ASCII, so folding ASCII letters alone is enough.
bool HasPrefix(const std::string& argument, const OptionRow& row) {
    if (argument.size() < row.length) {
        return false;
    }
    for (std::size_t i = 0; i < row.length; ++i) {
        if (platform::FoldAsciiCase(argument[i]) != row.prefix[i]) {
            return false;
        }
    }
    return true;
}

void Apply(const OptionRow& row, const std::string& argument) {
    switch (row.effect) {
    case Effect::Silent:
        runOptions.silent = true;
        break;
    case Effect::Remove:
        runOptions.remove = true;
        break;
    case Effect::Install:
        runOptions.install = true;
        break;
    case Effect::LogPath:
        runOptions.logRequested = true;
        runOptions.logPath = argument.substr(row.length);
        break;
    }
}

} // namespace

bool ParseArgument(const std::string& argument) {
    for (const OptionRow& row : kOptionTable) {
        if (HasPrefix(argument, row)) {
            Apply(row, argument);
            return true;
        }
    }
    return false;
}

void PrintUsage() {
    platform::WriteToConsole(
        "\n\nCorvith Installer " WRAPPER_VERSION_TEXT " - 2014-07-14\n\n"
        "\nUSAGE:\n\n"
        "  1. setup.exe -a ----------------------> Install or modify installation\n"
        "  2. setup.exe -a -f2<PathToLogFile> ---> Install or modify installation and add a log "
        "file\n"
        "  3. setup.exe -s ----------------------> Run installation in Silent Mode\n"
        "  4. setup.exe -s -f2<PathToLogFile> ---> Run in Silent Mode and add a log file\n"
        "  5. setup.exe -r ----------------------> Removes the installed driver\n"
        "  6. setup.exe -r -f2<PathToLogFile> ---> Removes the installed driver and add a log "
        "file\n"
        "  7. setup.exe -r -s -------------------> Removes the installed driver in Silent Mode\n"
        "  8. setup.exe -r -s -f2<PathToLogFile -> Removes the installed driver in Silent Mode "
        "with "
        "log file\n"
        "\n\n"
        "Example: setup.exe -s -f2c:\\temp\\silentlog.log\n\n");
}
