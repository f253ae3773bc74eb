// fieldcheck.exe [share folder] [FAT or exFAT folder]
// Run in an elevated console, from the folder the packaging script made. Prints a table, one line
// per row of docs/windows.md, writes it beside itself, and ends with 0 where nothing differs from
// what the wrapper assumes, 1 where something does, 2 where it could not run.
#include <cstdio>
#include <string>

#include "field.h"
#include "platform/platform.h"

namespace {

using field::Verdict;

const char* VerdictText(Verdict verdict) {
    return verdict == Verdict::AsAssumed ? "as assumed"
           : verdict == Verdict::Differs ? "DIFFERS"
                                         : "not tried";
}

// Beside the program, named after the computer and the time.
std::string ResultPath(const field::Field& field) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "\\fieldcheck-%s-%04u%02u%02u-%02u%02u%02u.txt", computer,
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    return field.home + name;
}

// One line a row: row | the wrapper assumes | seen | verdict, and why where not tried.
std::string Table(const field::Field& field, bool& differs) {
    std::string table = "row | the wrapper assumes | seen | verdict\n";
    differs = false;
    for (const field::Row& row : field::Rows()) {
        const auto found = field.found.find(row.name);
        field::Finding finding;
        if (found != field.found.end()) {
            finding = found->second;
        }
        std::string verdict = VerdictText(finding.verdict);
        if (finding.verdict == Verdict::NotTried) {
            verdict += ": " + (finding.seen.empty() ? std::string(row.notTried) : finding.seen);
        }
        differs = differs || finding.verdict == Verdict::Differs;
        table += std::string(row.name) + " | " + row.assumes + " | " +
                 (finding.seen.empty() ? "-" : finding.seen) + " | " + verdict + "\n";
    }
    return table;
}

// Some rows differ in the services' session, as deployment tools run the wrapper.
void PrintSystemRun(const field::Field& field) {
    std::printf("As SYSTEM, from an elevated prompt (the table is written beside the program):\n"
                "  schtasks /create /tn LumenorFieldCheck /tr \"%s\\fieldcheck.exe\" /sc once "
                "/st 00:00 /ru SYSTEM /f\n  schtasks /run /tn LumenorFieldCheck\n",
                field.home.c_str());
}

std::string Home() {
    char program[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string path(program, length < sizeof program ? length : 0);
    return path.substr(0, path.rfind('\\'));
}

} // namespace

int main(int argc, char** argv) {
    platform::PrepareProcess();
    field::Field field;
    field.home = Home();
    field.share = argc > 1 ? argv[1] : "";
    field.fat = argc > 2 ? argv[2] : "";
    if (!field::DescribeMachine(field)) {
        return 2;
    }
    if (!field.elevated) {
        std::printf("Run it in an elevated console, or as SYSTEM.\n");
        PrintSystemRun(field);
        return 2;
    }
    std::printf("This takes some minutes: the upgrade waits as the wrapper does.\n");
    if (!field::LayOut(field)) {
        field::RemoveTree(field.work);
        return 2;
    }
    field::CheckSystem(field);
    field::CheckInstaller(field);
    field::CheckRuns(field);
    field::CheckLogPaths(field);
    field::CheckPackage(field);
    field::InstallTestRelease(field, "");
    bool differs = false;
    std::string report = Table(field, differs);
    field::ListDeployFolders(field, report);
    field::RemoveTree(field.work);
    std::printf("\n%s", report.c_str());
    const std::string path = ResultPath(field);
    std::printf("\nWritten to %s\n", field::WriteWhole(path, report) ? path.c_str() : "nothing");
    PrintSystemRun(field);
    return differs ? 1 : 0;
}
