#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/options.h"
#include "commands/commands.h"
#include "fake_platform.h"
#include "fuzz_input.h"
#include "report/report.h"

namespace {

[[noreturn]] void Broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "guarantee broken: %s: [%s]\n", what, detail.c_str());
    std::abort();
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckCommand(const std::string& command) {
    if (command.size() > kMaxCommandLength) {
        Broken("command too long", command);
    }
    if (!StartsWith(command, "msiexec.exe ") && !StartsWith(command, "setup.exe ")) {
        Broken("command of an unknown program", command);
    }
    const auto quotes = std::count(command.begin(), command.end(), '"');
    if (quotes != (runOptions.logRequested ? 2 : 0)) {
        Broken("stray double quote", command);
    }
}

} // namespace

void ScriptMachine(FuzzInput& input) {
    ResetMachine();
    const std::uint8_t system = input.Byte();
    const unsigned long major = system >> 4u;
    const unsigned long minor = (system >> 1u) & 7u;
    machine.version =
        (system & 1) != 0 ? platform::OsVersion{6, 1} : platform::OsVersion{major, minor};
    machine.is32On64 = (system & 0x40) != 0;
    machine.answer = static_cast<std::int8_t>(input.Byte());
    const std::uint8_t devices = input.Byte();
    machine.locateResult = devices & 1u;
    machine.reenumerateResult = (devices >> 1u) & 1u;
    machine.interpreterMissing = (devices & 0x80) != 0;
    if ((devices & 4u) != 0) {
        machine.displayVersion = input.Text();
    }
    machine.environment["V"] = input.Text();
    machine.environment["TEMP"] = "C:\\Temp";
    AddFolder("C:\\Temp");
    if ((devices & 8u) != 0) {
        machine.currentFolder = input.Text();
        AddFolder(machine.currentFolder);
        AddFolder(machine.currentFolder + "\\Win7\\64");
        AddFolder(machine.currentFolder + "\\Win7\\32");
    }
    machine.currentFolderFails = (devices & 0x10) != 0;
    for (const std::string& folder : input.Texts(devices >> 5u)) {
        AddFolder(folder);
    }
}

void CheckAcceptedLogPath(const std::string& path) {
    if (path.size() > kMaxLogPathLength) {
        Broken("accepted log path too long", path);
    }
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string("\"<>|*?").find(c) != std::string::npos) {
            Broken("accepted log path holds a forbidden character", path);
        }
    }
    const char last = path.empty() ? '\\' : path.back();
    if (last == '\\' || last == '/') {
        Broken("accepted log path without a file name", path);
    }
}

void CheckRun(int exitCode) {
    if (exitCode < 0 || exitCode > 7) {
        Broken("exit code out of range", std::to_string(exitCode));
    }
    const std::vector<std::string>& events = machine.events;
    if (events.empty() || events.back() != "exit " + std::to_string(exitCode)) {
        Broken("run did not end with its exit", std::to_string(exitCode));
    }
    bool setupRan = false;
    bool anythingRan = false;
    for (const std::string& event : events) {
        if (StartsWith(event, "run ")) {
            const std::string command = event.substr(4);
            CheckCommand(command);
            anythingRan = true;
            setupRan = setupRan || StartsWith(command, "setup.exe ");
        }
    }
    if (setupRan && exitCode != 0) {
        Broken("setup ran but the run refused", std::to_string(exitCode));
    }
    const bool refusedUpFront =
        exitCode == 1 || exitCode == 2 || exitCode == 3 || exitCode == 6 || exitCode == 7;
    if (refusedUpFront && anythingRan) {
        Broken("a command ran before a refusal", std::to_string(exitCode));
    }
    if (runOptions.logRequested && exitCode != 1 && exitCode != 2) {
        CheckAcceptedLogPath(runOptions.logPath);
    }
}
