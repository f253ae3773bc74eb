// The rows of docs/windows.md, in its order, as the field check reports them.
#include "field.h"

namespace field {

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"elevation-740", "CreateProcess refuses a setup asking for elevation with 740",
         "the check runs elevated, and the consent prompt needs a person: run setup.exe -a "
         "unelevated with a setup manifested requireAdministrator"},
        {"prompt-owner", "the consent prompt comes to the front",
         "a person must answer a consent prompt"},
        {"sta-messages", "a broadcast does not wait on the thread that started the setup",
         "a person must answer a consent prompt"},
        {"nobody-to-answer", "no question where no user sees a window", ""},
        {"mapped-drives", "an elevated process does not see the user's drive letters",
         "a person must answer a consent prompt from a mapped drive"},
        {"unc-folder", "the setup starts with a UNC current folder",
         "no share given: run fieldcheck.exe \\\\server\\share\\folder"},
        {"handle-list", "a child inherits only the handles listed", ""},
        {"console-pseudo-handles", "console handles have their low two bits set",
         "standard output is no console: run it in a console window"},
        {"console-count-65001", "a console in code page 65001 counts characters",
         "a person must set code page 65001 and a TrueType font"},
        {"console-piece", "one console write of 30 KB can fail; 8 KiB pieces do not",
         "standard output is no console: run it in a console window"},
        {"dll-search", "library search limited to the system folder", ""},
        {"dll-full-path", "libraries loaded by full path from the system folder", ""},
        {"loaded-by-name", "no library beside the wrapper is loaded by name", ""},
        {"known-dlls", "kernel32 and ntdll are known DLLs, in every process", ""},
        {"wow64-folder", "system32 is SysWOW64 for a 32-bit program on 64-bit Windows", ""},
        {"registry-view", "a 32-bit program reads the 32-bit view", ""},
        {"msi-results", "msiexec /x of an unknown product ends with 1605", ""},
        {"msi-norestart", "/norestart keeps a removal from restarting",
         "needs a package whose removal asks for a restart"},
        {"msi-log", "/log writes the log anew", ""},
        {"error-mode",
         "a parent's error mode is inherited, and CREATE_DEFAULT_ERROR_MODE resets it", ""},
        {"log-links",
         "a log path through a link or second name ends with 2; a created log is for "
         "administrators and the runner",
         ""},
        {"held-log", "Windows Installer writes its log under the wrapper's write hold", ""},
        {"append-lock", "a reader locking the whole log holds the run a second at most", ""},
        {"package-trust", "a package others may change ends with 5; a protected one installs", ""},
        {"oplocks", "an unacknowledged oplock on the setup does not hold the run", ""},
        {"version-6.2", "GetVersionExA says 6.1 on Windows 7, 6.2 on later Windows", ""},
        {"dbcs", "IsDBCSLeadByte tells a lead byte in a double-byte code page",
         "the code page is no double-byte one: run it on a Japanese, Chinese or Korean Windows"},
        {"xp-imports", "setup.exe starts on XP SP3 to refuse it",
         "this is no XP: on XP SP3 setup.exe -a ends with 3"},
        {"wine", "what Wine does differently", "it describes Wine, not Windows"},
    };
    return rows;
}

// A row seen more than once keeps every sighting, and is as assumed only where each part was
// tried and held.
void Note(Field& field, const char* row, Verdict verdict, const std::string& seen) {
    const auto [entry, first] = field.found.emplace(row, Finding{seen, verdict});
    Finding& finding = entry->second;
    if (first) {
        return;
    }
    finding.seen += "; " + seen;
    if (verdict == Verdict::Differs ||
        (verdict == Verdict::NotTried && finding.verdict == Verdict::AsAssumed)) {
        finding.verdict = verdict;
    }
}

void Judge(Field& field, const char* row, bool held, const std::string& seen) {
    Note(field, row, held ? Verdict::AsAssumed : Verdict::Differs, seen);
}

} // namespace field
