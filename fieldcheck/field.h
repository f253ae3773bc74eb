// The field check: on a real Windows machine, each Windows behaviour the wrapper stands on, tried
// with the wrapper's own Windows side and the real setup.exe, and set against what the wrapper
// assumes. One row for each row of docs/windows.md.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/win32/system_library.h"

namespace field {

enum class Verdict { AsAssumed, Differs, NotTried };

struct Finding {
    std::string seen;
    Verdict verdict = Verdict::NotTried;
};

// What the check lays out and where; everything below `work` is removed at the end.
struct Field {
    std::string home;    // fieldcheck.exe's folder, with setup.exe, stand-ins and packages
    std::string work;    // made for this run, for administrators alone
    std::string package; // work\pkg: setup.exe and Win7\64, Win7\32 with the stand-in setup
    std::string logs;    // work\logs
    std::string record;  // what the stand-ins and canaries note
    std::string share;   // a share folder given on the command line, or empty
    std::string fat;     // a folder on FAT or exFAT given on the command line, or empty
    bool is64 = false;
    bool elevated = false;
    std::map<std::string, Finding> found; // by row
};

// Each row of docs/windows.md, in its order: what the wrapper assumes, and why it was not tried
// where nothing here tries it.
struct Row {
    const char* name;
    const char* assumes;
    const char* notTried;
};
const std::vector<Row>& Rows();

void Note(Field& field, const char* row, Verdict verdict, const std::string& seen);
// As assumed where `held`, else a difference.
void Judge(Field& field, const char* row, bool held, const std::string& seen);

// A program run to its end, or ended after `limit` ms: its exit code, how long it took, and
// what it wrote to standard output and error.
struct Run {
    bool started = false;
    bool ended = false;
    unsigned long code = 0;
    unsigned long milliseconds = 0;
    std::string output;
};
Run RunProgram(const Field& field, const std::string& program, const std::string& commandLine,
               const std::string& folder, unsigned long limit = 300000, DWORD flags = 0);
// The real setup.exe of the laid-out package, in the package's folder unless another is given.
Run RunWrapper(const Field& field, const std::string& options, const std::string& folder = "");
// The lines the stand-ins and canaries noted since the last call.
std::vector<std::string> TakeRecord(const Field& field);
bool Recorded(const std::vector<std::string>& lines, const std::string& start);

// Windows Installer from the system folder; its exit code.
unsigned long Msiexec(const Field& field, const std::string& arguments);
// The release installed as the wrapper reads it; empty when none.
std::string InstalledRelease();
// The installed test release removed, then `release`'s test package installed, unless empty.
bool InstallTestRelease(const Field& field, const std::string& release);

std::string ReadWhole(const std::string& path);
bool WriteWhole(const std::string& path, const std::string& text);
bool CopyInto(const std::string& from, const std::string& to);
void RemoveTree(const std::string& path);
std::string Number(unsigned long value);
std::string Hex(unsigned long value);
// `link`, a new folder, made a junction to `target`; false when it cannot be.
bool MakeJunction(const std::string& link, const std::string& target);
// SDDL of an object's owner and access list; empty when it cannot be read.
std::string DescriptorText(const std::string& path);

// Where the check runs; false, after saying why, where it must not run.
bool DescribeMachine(Field& field);
bool LayOut(Field& field);

// The groups of checks.
void CheckSystem(Field& field);
void CheckInstaller(Field& field);
void CheckRuns(Field& field);
void CheckLogPaths(Field& field);
void CheckPackage(Field& field);
void ListDeployFolders(const Field& field, std::string& out);

// Shows which step the check is on.
void Step(const std::string& what);

} // namespace field
