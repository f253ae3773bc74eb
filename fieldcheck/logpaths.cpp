// The guards on the log path, tried as the users they guard against would: a second name of
// another file, a junction, a reader that locks the whole log; and the list a created log gets.
#include <cstring>
#include <string>

#include "field.h"

namespace field {

namespace {

void CheckSecondName(Field& field) {
    const std::string victim = field.work + "\\victim.txt";
    const std::string link = field.logs + "\\linked.log";
    const std::string text = "setting=1\r\n";
    WriteWhole(victim, text);
    if (CreateHardLinkA(link.c_str(), victim.c_str(), nullptr) == FALSE) {
        Note(field, "log-links", Verdict::NotTried, "no second name could be made");
        return;
    }
    const Run run = RunWrapper(field, "-r -s -f2" + link);
    Judge(field, "log-links", run.code == 2 && ReadWhole(victim) == text,
          "a log path that is a second name of another file: exit " + Number(run.code) +
              (ReadWhole(victim) == text ? ", the other file unchanged"
                                         : ", the other file changed"));
}

void CheckJunction(Field& field) {
    const std::string target = field.work + "\\target";
    const std::string junction = field.work + "\\junction";
    CreateDirectoryA(target.c_str(), nullptr);
    if (!MakeJunction(junction, target)) {
        Note(field, "log-links", Verdict::NotTried,
             "no junction could be made (" + Number(GetLastError()) + ")");
        return;
    }
    const Run run = RunWrapper(field, "-r -s -f2" + junction + "\\run.log");
    const bool untouched =
        GetFileAttributesA((target + "\\run.log").c_str()) == INVALID_FILE_ATTRIBUTES;
    Judge(field, "log-links", run.code == 2 && untouched,
          "a log path through a junction: exit " + Number(run.code) +
              (untouched ? ", nothing written behind it" : ", a file written behind it"));
}

// Made by the wrapper, read back by the system's own calls: SYSTEM, Administrators and the
// runner, protected.
void CheckCreatedLog(Field& field) {
    const std::string log = field.logs + "\\created.log";
    RunWrapper(field, "-r -s -f2" + log);
    const std::string text = DescriptorText(log);
    const std::size_t list = text.find("D:");
    const std::string dacl = list == std::string::npos ? text : text.substr(list);
    const bool assumed =
        dacl.compare(0, 3, "D:P") == 0 && dacl.find("(A;;FA;;;SY)") != std::string::npos &&
        dacl.find("(A;;FA;;;BA)") != std::string::npos && dacl.find(";WD)") == std::string::npos &&
        dacl.find(";AU)") == std::string::npos && dacl.find(";BU)") == std::string::npos;
    Judge(field, "log-links", assumed, "a created log's list: " + dacl);
}

// Locked whole by another process, as anyone who may read it can: the run ends all the same.
void CheckLockedLog(Field& field) {
    const std::string log = field.logs + "\\locked.log";
    WriteWhole(log, "");
    const HANDLE file = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED whole = {};
    if (file == INVALID_HANDLE_VALUE ||
        LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole) == FALSE) {
        Note(field, "append-lock", Verdict::NotTried, "the log could not be locked");
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        return;
    }
    const Run run = RunProgram(field, field.package + "\\setup.exe", "setup.exe -r -s -f2" + log,
                               field.package, 30000);
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
    Judge(field, "append-lock", run.ended && run.code == 7 && run.milliseconds < 10000,
          "-r with nothing installed and the log locked whole: exit " + Number(run.code) + " in " +
              Number(run.milliseconds) + " ms");
}

} // namespace

void CheckLogPaths(Field& field) {
    Step("log paths that lead elsewhere, and a locked log");
    CheckSecondName(field);
    CheckJunction(field);
    CheckCreatedLog(field);
    CheckLockedLog(field);
}

} // namespace field
