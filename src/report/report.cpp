#include "report/report.h"

#include <cstring>
#include <vector>

#include "platform/bounded.h"
#include "platform/characters.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "record/run_options.h"
#include "trust/trust.h"

namespace {

constexpr char kLinePrefix[] = "SETUP WRAPPER: ";

std::size_t LastSeparator(const std::string& path) {
    return platform::FindLastSingleByte(path,
                                        [](unsigned char c) { return c == '/' || c == '\\'; });
}

// Text after the last separator, or all of it when there is none.
std::string FileNamePart(const std::string& path) {
    const std::size_t separator = LastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The path is placed in command lines later; a double quote there would end the quoted path. None
// of these characters can occur in a Windows path anyway. The bytes of a double-byte character
// are not characters of their own.
bool HoldsForbiddenCharacter(const std::string& path) {
    return platform::FindLastSingleByte(path, [](unsigned char c) {
               return c < 0x20 || std::strchr("\"<>|*?", c) != nullptr;
           }) != std::string::npos;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Anywhere but after a leading drive letter, a colon names a stream of another file ("C:run.log"
// placed in the current folder becomes C:\pkg\C:run.log). With two colons, the last is stray.
bool HoldsStrayColon(const std::string& path) {
    const std::size_t colon =
        platform::FindLastSingleByte(path, [](unsigned char c) { return c == ':'; });
    return colon != std::string::npos && !(colon == 1 && IsAsciiLetter(path[0]));
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to LPT9 open a device, not a file,
// whatever their case, extension or trailing blanks. Neither "." nor a blank is ever a second byte.
bool NamesDevice(const std::string& fileName) {
    std::string base = fileName.substr(0, fileName.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    for (char& c : base) {
        c = platform::FoldAsciiCase(c);
    }
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (base == device) {
            return true;
        }
    }
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// What may be opened as the log at all, wherever its folder is. A file name never holds a colon:
// a bare "C:run.log" typed is the same path that resolution refuses.
bool NamesOnlyAFile(const std::string& path) {
    const std::string fileName = FileNamePart(path);
    return path.size() <= kMaxLogPathLength && !HoldsForbiddenCharacter(path) &&
           !HoldsStrayColon(path) && !fileName.empty() && fileName.find(':') == std::string::npos &&
           !NamesDevice(fileName);
}

// Windows Installer runs in the wrapper's folder and the setup in its package folder: a relative
// path would name two files. The absolute path is checked again, as it is longer.
bool MakeAbsolute(std::string& path) {
    std::string absolute;
    if (!platform::ReadFullPath(path, absolute) || !NamesOnlyAFile(absolute)) {
        return false;
    }
    path = absolute;
    return true;
}

// A link leads elsewhere whoever owns it: any user who may write an empty folder can make it a
// mount point, and it keeps its owner. A folder that cannot be listed is not held, so only the
// system's own is taken as it is [windows.md: log-links].
bool MayStandOnLogPath(const platform::PathObject& folder) {
    return folder.opened && folder.folder && !folder.link &&
           (folder.listed || IsSystemAccount(folder.security.owner));
}

// A log that was there must be the system's or the runner's, and nobody else may change it: they
// could make it hidden, read-only or a link meanwhile, and the children could not write it, or
// would write elsewhere [windows.md: log-links].
bool MayKeepLogThatWasThere(const platform::PathObject& file) {
    const platform::Principal owner = file.security.owner;
    return (IsSystemAccount(owner) || owner == platform::Principal::RunningUser) &&
           OnlyTrustedMayChange(file.security, rights::kChangeLog) && !file.shutsOutWriters;
}

// A link or a second name leads to another file, and a pipe or device reached through a link is
// no log [windows.md: log-links].
bool MayBeLog(const platform::PathObject& file) {
    return file.opened && !file.folder && !file.link && file.names == 1 && file.onDisk &&
           (file.created || MayKeepLogThatWasThere(file));
}

// The wrapper often runs as SYSTEM, and its children write the log anew: through a link that a
// user planted, on the file or on a folder on the way, they would overwrite a file that user may
// not write. Each name is opened below the folder held above it, and the folders are examined
// again once the file is open, since an empty one could have become a link meanwhile
// [windows.md: log-links, held-log].
bool WalkLogPath(const std::string& absolute) {
    const std::vector<std::size_t> separators = platform::Separators(absolute);
    const std::size_t root = platform::RootLength(absolute);
    if (root == 0 || !platform::OpenLogRoot(absolute.substr(0, root))) {
        return false;
    }
    std::size_t name = root;
    for (const std::size_t separator : separators) {
        if (separator < root) {
            continue;
        }
        if (!MayStandOnLogPath(platform::OpenLogFolder(absolute.substr(name, separator - name)))) {
            return false;
        }
        name = separator + 1;
    }
    return MayBeLog(platform::OpenLogFile(absolute.substr(name))) &&
           !platform::LogFolderBecameLink();
}

bool HoldLog(const std::string& absolute) {
    if (!WalkLogPath(absolute)) {
        platform::ReleaseLogPath();
        return false;
    }
    platform::KeepLog();
    return true;
}

// `path` made absolute, then held as the log; false when it cannot hold it.
bool HoldLogAt(std::string& path) {
    return MakeAbsolute(path) && platform::QueryObject(path) != platform::ObjectKind::Folder &&
           HoldLog(path);
}

bool CanHoldLog(std::string& path, const std::string& folder) {
    return NamesOnlyAFile(path) && platform::QueryObject(folder) != platform::ObjectKind::Missing &&
           HoldLogAt(path);
}

// "%NAME%\file": NAME runs from the second character to the last "%", or to the end when the
// first "%" is the only one. Anything between the closing "%" and the last separator is dropped.
bool ResolveFromEnvironment(std::string& path) {
    const std::size_t lastPercent = path.rfind('%');
    const std::string name = lastPercent == 0 ? path.substr(1) : path.substr(1, lastPercent - 1);
    std::string folder;
    if (!platform::ReadEnvironmentValue(name, folder)) {
        return false;
    }
    path = folder + "\\" + FileNamePart(path);
    return CanHoldLog(path, folder);
}

bool ResolveFromCurrentFolder(std::string& path) {
    std::string folder;
    if (!platform::ReadCurrentFolder(folder)) {
        platform::EndProcess(2);
    }
    path = folder + "\\" + path;
    return CanHoldLog(path, folder);
}

} // namespace

// The path may still be as typed (a bad argument after "-f2"): a device or a stream is not written,
// and the file is examined and held as a resolved one is.
void ReportMessage(const std::string& text) {
    if (runOptions.logRequested && !platform::LogKept() && NamesOnlyAFile(runOptions.logPath)) {
        std::string typed = runOptions.logPath;
        HoldLogAt(typed);
    }
    if (runOptions.logRequested && platform::LogKept()) {
        platform::AppendToLog(kLinePrefix + text);
    }
    if (!runOptions.silent) {
        platform::WriteToConsole(text);
    }
}

bool ResolveLogPath() {
    std::string& path = runOptions.logPath;
    if (!path.empty() && path[0] == '%') {
        return ResolveFromEnvironment(path);
    }
    const std::size_t separator = LastSeparator(path);
    if (separator == std::string::npos) {
        return ResolveFromCurrentFolder(path);
    }
    return CanHoldLog(path, path.substr(0, separator));
}
