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
    // What the question's decision reads; nullopt: the query fails.
    std::optional<unsigned long> session = 1;
    std::optional<bool> stationVisible = true;

    std::string currentFolder = "C:\\pkg";
    bool currentFolderFails = false;
    std::string systemFolder = "C:\\Windows\\system32";
    // Drive letters ("Z:") mapped to the share behind them.
    std::map<std::string, std::string> mappedDrives;
    std::map<std::string, std::string> environment;
    std::map<std::string, platform::ObjectKind> objects;
    // Files that are reparse points or have a second name, or are no file on a disk; folders
    // that are links, deny listing, or become links once opened; what the system owns, and logs
    // that were there, owned by another user.
    std::set<std::string> linkedFiles;
    std::set<std::string> notOnDisk;
    std::set<std::string> folderLinks;
    std::set<std::string> unlistedFolders;
    std::set<std::string> becomeLinks;
    std::set<std::string> systemOwned;
    std::set<std::string> otherUsersFiles;
    // Files that are links themselves (symbolic links), apart from second names; logs that are
    // hidden, system or read-only.
    std::set<std::string> fileLinks;
    std::set<std::string> shutOutLogs;

    // Who may change what: the token's membership of Administrators and whether it is a filtered
    // administrator's, the file systems of volumes by root ("NTFS" unless named; empty: it cannot
    // be asked), owners and access lists by path, and the path where a link leads (itself
    // unless named). Anything else is the running user's, with full control for SYSTEM,
    // Administrators and that user and reading for Users. The package's folders in
    // unlistedFolders cannot be listed.
    bool administrator = true;
    bool filteredAdministrator = true;
    std::map<std::string, std::string> fileSystems;
    std::map<std::string, platform::Security> security;
    std::map<std::string, std::string> linkTargets;

    // Bytes that start a double-byte character (code page 932 when set by UseCodePage932).
    std::set<unsigned char> leadBytes;

    // Output each command writes, by command line; others write nothing. A program that is no
    // file, or is listed here, cannot be started; one that needs elevation starts only through
    // the shell, unless its consent is declined. Exit statuses by program, 0 otherwise.
    std::map<std::string, std::string> commandOutput;
    std::set<std::string> unstartable;
    std::set<std::string> needsElevation;
    bool consentDeclined = false;
    std::map<std::string, unsigned long> exitStatus;
    // Statuses once the log is held for reading, as of a child that shares its log reading alone.
    std::map<std::string, unsigned long> exitStatusReadHeld;

    // The exchange of the log's write hold for a read hold fails (another process shares no
    // reading); whether the log is held for reading now.
    bool readHoldRefused = false;
    bool readHold = false;
    // Logs that cannot be opened, and logs that open but cannot be written.
    std::set<std::string> unopenableLogs;
    std::set<std::string> unwritableLogs;

    // What happened.
    std::vector<std::string> events;
    std::string console;
    std::map<std::string, std::string> logs;
    // Through which handle each line went: the write hold, or a writer opened for it alone.
    std::vector<std::string> logWriters;
    std::vector<std::string> heldFolders; // every folder opened on a log path, roots included
    std::string walk;                     // the folder opened last
    std::string openedLog;
    std::string heldLog; // kept as the log
    std::size_t largestPiece = 0;
    std::size_t undrainedBytes = 0;
    std::vector<std::string> registryQueries;
};

extern FakeMachine machine;

// Fresh machine and fresh options: C:\pkg holding Win7\64 and Win7\32, each with its setup.exe,
// Windows 7 64-bit, msiexec.exe in the system folder.
void ResetMachine();
void AddFolder(const std::string& path);
void AddFile(const std::string& path);
void UseCodePage932();
// The security an object has unless the machine says otherwise.
platform::Security DefaultSecurity();
// The SIDs the fake gives the running user and another user.
constexpr char kRunnerSid[] = "S-1-5-21-1-2-3-1001";
constexpr char kOtherUserSid[] = "S-1-5-21-1-2-3-1002";

// Runs the entry with "setup.exe" and `arguments`; returns the exit code.
int RunWrapper(const std::vector<std::string>& arguments);
