#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "commands/commands.h"
#include "fake_platform.h"
#include "fuzz_input.h"
#include "record/run_options.h"
#include "report/report.h"

namespace {

[[noreturn]] void Broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "guarantee broken: %s: [%s]\n", what, detail.c_str());
    std::abort();
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// `started` is "<program> | <command line>", as the fake records it. A scripted folder may hold
// " | " itself; an accepted command line never does. True when it was the package setup.
bool CheckCommand(const std::string& started) {
    const std::size_t bar = started.rfind(" | ");
    const std::string program = started.substr(0, bar);
    const std::string command = started.substr(bar + 3);
    if (command.size() > kMaxCommandLength) {
        Broken("command too long", command);
    }
    const bool removal =
        program == machine.systemFolder + "\\msiexec.exe" && StartsWith(command, "msiexec.exe ");
    const std::string folder = machine.currentFolder; // the setup is started from inside it
    const bool setup = (program == folder + "\\setup.exe") &&
                       (EndsWith(folder, "\\Win7\\64") || EndsWith(folder, "\\Win7\\32")) &&
                       StartsWith(command, "setup.exe ");
    if (!removal && !setup) {
        Broken("command of an unknown program", started);
    }
    const auto quotes = std::count(command.begin(), command.end(), '"');
    if (quotes != (runOptions.logRequested ? 2 : 0)) {
        Broken("stray double quote", command);
    }
    return setup;
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
    if ((devices & 0x80) != 0) {
        machine.unstartable.insert("C:\\pkg\\Win7\\64\\setup.exe");
    }
    if ((devices & 4u) != 0) {
        machine.displayVersion = input.Text();
    }
    machine.environment["V"] = input.Text();
    machine.environment["TEMP"] = "C:\\Temp";
    AddFolder("C:\\Temp");
    if ((devices & 8u) != 0) {
        machine.currentFolder = input.Text();
        AddFolder(machine.currentFolder);
        for (const char* folder : {"\\Win7\\64", "\\Win7\\32"}) {
            AddFolder(machine.currentFolder + folder);
            AddFile(machine.currentFolder + folder + "\\setup.exe");
        }
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
    // Absolute, so that the children, each in its own folder, write the one file checked.
    if (!(path.size() > 2 && path[1] == ':' && path[2] == '\\') && !StartsWith(path, "\\\\")) {
        Broken("accepted log path not absolute", path);
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
            setupRan = CheckCommand(event.substr(4)) || setupRan;
            anythingRan = true;
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

void CheckNothingRemovedInVain(int exitCode) {
    bool removed = false;
    for (const std::string& event : machine.events) {
        removed = removed || StartsWith(event, "run " + machine.systemFolder + "\\msiexec.exe");
    }
    if (exitCode == 5 && removed && !runOptions.remove && machine.unstartable.empty()) {
        Broken("removed, then could not install", std::to_string(exitCode));
    }
}
