#include "report/report.h"

#include <cstring>

#include "app/options.h"
#include "platform/bounded.h"
#include "platform/characters.h"
#include "platform/platform.h"

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

// The wrapper often runs as SYSTEM, and its children write the log anew: through a link that a
// user planted, they would overwrite a file that user may not write [windows.md: log-links].
bool CanHoldLog(const std::string& path, const std::string& folder) {
    return NamesOnlyAFile(path) && platform::QueryObject(folder) != platform::ObjectKind::Missing &&
           platform::QueryObject(path) != platform::ObjectKind::Folder &&
           !platform::LeadsElsewhere(path);
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

// The path may still be as typed (a bad argument after "-f2"): a device or a stream is not written.
void ReportMessage(const std::string& text) {
    if (runOptions.logRequested && NamesOnlyAFile(runOptions.logPath)) {
        platform::AppendToLog(runOptions.logPath, kLinePrefix + text);
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
