#include "report/report.h"

#include "app/options.h"
#include "platform/bounded.h"
#include "platform/platform.h"

namespace {

constexpr char kLinePrefix[] = "SETUP WRAPPER: ";

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

// Text after the last separator, or all of it when there is none.
std::string FileNamePart(const std::string& path) {
    const std::size_t separator = LastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The path is placed in command lines later; a double quote there would end the quoted path and
// let the rest run as commands. None of these characters can occur in a Windows path anyway.
bool HoldsForbiddenCharacter(const std::string& path) {
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == '*' || c == '?') {
            return true;
        }
    }
    return false;
}

bool CanHoldLog(const std::string& path, const std::string& folder) {
    if (path.size() > kMaxLogPathLength || HoldsForbiddenCharacter(path) ||
        FileNamePart(path).empty()) {
        return false;
    }
    return platform::QueryObject(folder) != platform::ObjectKind::Missing &&
           platform::QueryObject(path) != platform::ObjectKind::Folder;
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

void ReportMessage(const std::string& text) {
    if (runOptions.logRequested) {
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
