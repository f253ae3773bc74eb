// A scripted machine behind the platform seam. Tests set what the system answers, run the
// wrapper, and read back what it did: every wait, command, question, folder change and exit in
// order, and the bytes written to the console and to each log.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

// Thrown by the fake's EndProcess so that the exit unwinds back to the test.
struct FakeExit {
    int code;
};

struct FakeMachine {
    platform::OsVersion version{6, 1};
    bool is32On64 = true;

    // Raw bytes of the DisplayVersion value; none means the entry is missing.
    std::optional<std::string> displayVersion;
    // The size the query reports, when it should differ from the bytes stored.
    std::optional<unsigned long> reportedSize;

    unsigned long locateResult = platform::kConfigSuccess;
    unsigned long reenumerateResult = platform::kConfigSuccess;
    int answer = platform::kAnswerNo;

    std::string currentFolder = "C:\\pkg";
    bool currentFolderFails = false;
    std::map<std::string, std::string> environment;
    std::map<std::string, platform::ObjectKind> objects;

    // Output each command writes, by command line; others write nothing.
    std::map<std::string, std::string> commandOutput;
    bool interpreterMissing = false;

    std::set<std::string> unwritableLogs;

    // What happened.
    std::vector<std::string> events;
    std::string console;
    std::map<std::string, std::string> logs;
    std::size_t largestPiece = 0;
    std::size_t undrainedBytes = 0;
    std::vector<std::string> registryQueries;
};

extern FakeMachine machine;

// Fresh machine and fresh options: C:\pkg holding Win7\64 and Win7\32, Windows 7 64-bit.
void ResetMachine();
void AddFolder(const std::string& path);

// Runs the entry with "setup.exe" and `arguments`; returns the exit code.
int RunWrapper(const std::vector<std::string>& arguments);
