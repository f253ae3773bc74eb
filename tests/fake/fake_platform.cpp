#include "fake_platform.h"

#include <algorithm>
#include <cstring>

#include "app/options.h"
#include "platform/bounded.h"
#include "platform/characters.h"

FakeMachine machine;

struct platform::ChildProcess {
    std::string program;
    std::string output;
    std::size_t position = 0;
};

void AddFolder(const std::string& path) {
    machine.objects[path] = platform::ObjectKind::Folder;
}

void AddFile(const std::string& path) {
    machine.objects[path] = platform::ObjectKind::File;
}

void UseCodePage932() {
    for (int byte = 0x81; byte <= 0xFC; ++byte) {
        if (byte <= 0x9F || byte >= 0xE0) {
            machine.leadBytes.insert(static_cast<unsigned char>(byte));
        }
    }
}

platform::Security DefaultSecurity() {
    using platform::Principal;
    platform::Security security;
    security.owner = Principal::RunningUser;
    security.ownerSid = kRunnerSid;
    security.listRead = security.listPresent = true;
    security.entries = {{true, false, 0x001F01FFUL, Principal::System, "S-1-5-18"},
                        {true, false, 0x001F01FFUL, Principal::Administrators, "S-1-5-32-544"},
                        {true, false, 0x001F01FFUL, Principal::RunningUser, kRunnerSid},
                        {true, false, 0x001200A9UL, Principal::Other, "S-1-5-32-545"}};
    return security;
}

void ResetMachine() {
    machine = FakeMachine{};
    runOptions = RunOptions{};
    AddFolder("C:\\pkg");
    for (const char* folder : {"C:\\pkg\\Win7\\64", "C:\\pkg\\Win7\\32"}) {
        AddFolder(folder);
        AddFile(std::string(folder) + "\\setup.exe");
    }
    AddFile(machine.systemFolder + "\\msiexec.exe");
}

int RunWrapper(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    try {
        RunEntry(static_cast<int>(argv.size()), argv.data());
    } catch (const FakeExit& exit) {
        return exit.code;
    }
    return -1000; // unreachable: the entry never returns
}

namespace platform {

OsVersion QueryVersion() {
    return machine.version;
}

bool QueryIs32On64() {
    return machine.is32On64;
}

long ReadRegistryValue(const std::string& key, const std::string& name, unsigned char* buffer,
                       unsigned long* size) {
    machine.registryQueries.push_back(key + "|" + name);
    if (!machine.displayVersion) {
        return 2; // ERROR_FILE_NOT_FOUND
    }
    const std::string& bytes = *machine.displayVersion;
    if (bytes.size() > *size) {
        *size = static_cast<unsigned long>(bytes.size());
        return 234; // ERROR_MORE_DATA
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    *size = machine.reportedSize.value_or(static_cast<unsigned long>(bytes.size()));
    return 0;
}

unsigned long LocateRootDeviceNode(unsigned long* node) {
    machine.events.push_back("locate");
    *node = 1;
    return machine.locateResult;
}

unsigned long ReenumerateDeviceNode(unsigned long node) {
    machine.events.push_back("reenumerate " + std::to_string(node));
    return machine.reenumerateResult;
}

int AskYesNo(const std::string& text, const std::string& caption) {
    machine.events.push_back("ask " + caption + ": " + text);
    return machine.answer;
}

bool QuerySessionId(unsigned long* session) {
    *session = machine.session.value_or(0);
    return machine.session.has_value();
}

bool QueryWindowStationVisible(bool* visible) {
    *visible = machine.stationVisible.value_or(false);
    return machine.stationVisible.has_value();
}

std::size_t GetCurrentFolder(char* buffer, std::size_t capacity) {
    if (machine.currentFolderFails) {
        return 0;
    }
    return CopyOut(machine.currentFolder, buffer, capacity);
}

bool SetCurrentFolder(const std::string& path) {
    if (QueryObject(path) != ObjectKind::Folder) {
        return false;
    }
    machine.events.push_back("cd " + path);
    machine.currentFolder = path;
    return true;
}

std::size_t GetSystemFolder(char* buffer, std::size_t capacity) {
    return CopyOut(machine.systemFolder, buffer, capacity);
}

std::size_t GetEnvironmentValue(const std::string& name, char* buffer, std::size_t capacity) {
    const auto found = machine.environment.find(name);
    if (found == machine.environment.end() || found->second.empty()) {
        return 0;
    }
    return CopyOut(found->second, buffer, capacity);
}

ObjectKind QueryObject(const std::string& path) {
    const auto found = machine.objects.find(path);
    return found == machine.objects.end() ? ObjectKind::Missing : found->second;
}

// As the system does: "/" is a separator, and a path without a root starts in the current folder.
std::size_t GetFullPath(const std::string& path, char* buffer, std::size_t capacity) {
    std::string full = path;
    std::replace(full.begin(), full.end(), '/', '\\');
    const bool absolute =
        (full.size() > 2 && full[1] == ':' && full[2] == '\\') || full.compare(0, 2, "\\\\") == 0;
    if (!absolute && machine.currentFolderFails) {
        return 0;
    }
    return CopyOut(absolute ? full : machine.currentFolder + "\\" + full, buffer, capacity);
}

bool OpenLogRoot(const std::string& root) {
    ReleaseLogPath();
    machine.heldFolders.push_back(root);
    machine.walk = root;
    return true;
}

namespace {

std::string Below(const std::string& name) {
    return machine.walk.back() == '\\' ? machine.walk + name : machine.walk + "\\" + name;
}

Principal OwnerOf(const std::string& path) {
    return machine.systemOwned.count(path) != 0       ? Principal::System
           : machine.otherUsersFiles.count(path) != 0 ? Principal::Other
                                                      : Principal::RunningUser;
}

Security SecurityOf(const std::string& path) {
    const auto found = machine.security.find(path);
    if (found != machine.security.end()) {
        return found->second;
    }
    Security security = DefaultSecurity();
    security.owner = OwnerOf(path);
    security.ownerSid = security.owner == Principal::System  ? "S-1-5-18"
                        : security.owner == Principal::Other ? kOtherUserSid
                                                             : kRunnerSid;
    return security;
}

bool IsLink(const std::string& path) {
    return machine.folderLinks.count(path) != 0 || machine.fileLinks.count(path) != 0;
}

// A folder above a scripted object is there too.
bool IsFolder(const std::string& path) {
    const auto below = machine.objects.lower_bound(path + "\\");
    return QueryObject(path) == ObjectKind::Folder || machine.folderLinks.count(path) != 0 ||
           (below != machine.objects.end() && below->first.rfind(path + "\\", 0) == 0);
}

} // namespace

PathObject OpenLogFolder(const std::string& name) {
    const std::string path = Below(name);
    PathObject found;
    if (name.empty() || !IsFolder(path)) {
        return found;
    }
    machine.heldFolders.push_back(path);
    machine.walk = path;
    found.opened = found.folder = true;
    found.link = machine.folderLinks.count(path) != 0;
    found.listed = machine.unlistedFolders.count(path) == 0;
    found.security.owner = found.listed ? Principal::Unknown : OwnerOf(path);
    return found;
}

PathObject OpenLogFile(const std::string& name) {
    const std::string path = Below(name);
    PathObject found;
    if (name.empty() || machine.unopenableLogs.count(path) != 0) {
        return found;
    }
    machine.openedLog = path;
    found.opened = true;
    found.folder = QueryObject(path) == ObjectKind::Folder;
    found.link = machine.fileLinks.count(path) != 0;
    found.names = machine.linkedFiles.count(path) != 0 ? 2 : 1;
    found.created = QueryObject(path) == ObjectKind::Missing;
    found.onDisk = machine.notOnDisk.count(path) == 0;
    found.shutsOutWriters = machine.shutOutLogs.count(path) != 0;
    if (!found.created) {
        found.security = SecurityOf(path);
    }
    return found;
}

// Any folder of this walk: the one opened last, or one above it; only once the file is open,
// since a folder that holds it can no longer become one.
bool LogFolderBecameLink() {
    return !machine.openedLog.empty() &&
           std::any_of(machine.becomeLinks.begin(), machine.becomeLinks.end(),
                       [](const std::string& folder) {
                           return machine.walk == folder ||
                                  machine.walk.rfind(folder + "\\", 0) == 0;
                       });
}

void KeepLog() {
    machine.heldLog = machine.openedLog;
}

void ReleaseLogPath() {
    machine.readHold = false;
    machine.walk.clear();
    machine.openedLog.clear();
    machine.heldLog.clear();
}

bool LogKept() {
    return !machine.heldLog.empty();
}

bool HoldLogForReading() {
    if (machine.heldLog.empty() || machine.readHold) {
        return machine.readHold;
    }
    machine.events.push_back("hold the log for reading");
    machine.readHold = !machine.readHoldRefused;
    return machine.readHold;
}

bool RunsAsAdministrator() {
    return machine.administrator;
}

bool ElevatesRunningUser() {
    return machine.filteredAdministrator;
}

bool QueryFileSystem(const std::string& root, std::string& name) {
    const auto found = machine.fileSystems.find(root);
    name = found == machine.fileSystems.end() ? "NTFS" : found->second;
    return !name.empty();
}

// The fake's objects are known by path alone.
struct PackageObject {
    std::string path;
};

PackageObject* OpenPackageObject(PackageObject* folder, const std::string& name, bool followLink,
                                 PathObject& found) {
    std::string path = folder == nullptr ? name : folder->path + "\\" + name;
    const auto target = machine.linkTargets.find(path);
    if (followLink && IsLink(path) && target != machine.linkTargets.end()) {
        path = target->second;
    }
    const bool folderThere = IsFolder(path);
    if (QueryObject(path) == ObjectKind::Missing && !IsLink(path) && !folderThere) {
        return nullptr;
    }
    found.opened = true;
    found.folder = folderThere;
    found.link = IsLink(path) && !followLink;
    found.security = SecurityOf(path);
    return new PackageObject{path};
}

void ClosePackageObject(PackageObject* object) {
    delete object;
}

// Each name once, folders implied by what lies below them included.
bool ListPackageFolder(PackageObject* folder, std::vector<std::string>& names) {
    const std::string& path = folder->path;
    if (!IsFolder(path) || machine.unlistedFolders.count(path) != 0) {
        return false;
    }
    names.clear();
    const std::string prefix = path + "\\";
    for (auto it = machine.objects.lower_bound(prefix);
         it != machine.objects.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const std::string name =
            it->first.substr(prefix.size(), it->first.find('\\', prefix.size()) - prefix.size());
        if (names.empty() || names.back() != name) {
            names.push_back(name);
        }
    }
    return true;
}

bool ReadFinalPath(PackageObject* object, std::string& path) {
    path = object->path;
    return true;
}

std::string Utf8FromCodePage(const std::string& path) {
    return path;
}

std::string CodePageFromUtf8(const std::string& path) {
    return path;
}

bool IsLeadByte(char byte) {
    return machine.leadBytes.count(static_cast<unsigned char>(byte)) != 0;
}

void Wait(unsigned long milliseconds) {
    machine.events.push_back("wait " + std::to_string(milliseconds));
}

ChildProcess* StartChild(const std::string& program, const std::string& commandLine,
                         StartFailure* failure) {
    *failure = StartFailure::Other;
    if (QueryObject(program) != ObjectKind::File || machine.unstartable.count(program) != 0) {
        return nullptr;
    }
    if (machine.needsElevation.count(program) != 0) {
        *failure = StartFailure::NeedsElevation;
        return nullptr;
    }
    *failure = StartFailure::None;
    machine.events.push_back("run " + program + " | " + commandLine);
    const auto found = machine.commandOutput.find(commandLine);
    return new ChildProcess{program, found == machine.commandOutput.end() ? "" : found->second, 0};
}

ChildProcess* StartThroughShell(const std::string& program, const std::string& parameters,
                                const std::string& folder) {
    machine.events.push_back("shell " + program + " | " + parameters + " | in " + folder);
    if (machine.consentDeclined || QueryObject(program) != ObjectKind::File) {
        return nullptr;
    }
    return new ChildProcess{program, "", 0};
}

// As the real pipe: a whole buffer's worth whenever that much is left.
bool ReadChildOutput(ChildProcess* pipe, char* buffer, std::size_t capacity) {
    const std::size_t length = std::min(capacity, pipe->output.size() - pipe->position);
    if (length == 0) {
        return false;
    }
    pipe->output.copy(buffer, length, pipe->position);
    pipe->position += length;
    machine.largestPiece = std::max(machine.largestPiece, length);
    return true;
}

std::size_t GetUniversalPath(const std::string& path, char* buffer, std::size_t capacity) {
    const auto share = machine.mappedDrives.find(path.substr(0, 2));
    return share == machine.mappedDrives.end()
               ? 0
               : CopyOut(share->second + path.substr(2), buffer, capacity);
}

unsigned long WaitForChild(ChildProcess* pipe, bool dispatchMessages) {
    if (dispatchMessages) {
        machine.events.push_back("dispatch messages until " + pipe->program + " ends");
    }
    machine.undrainedBytes += pipe->output.size() - pipe->position;
    const std::string program = pipe->program;
    delete pipe;
    const auto readHeld = machine.exitStatusReadHeld.find(program);
    if (machine.readHold && readHeld != machine.exitStatusReadHeld.end()) {
        return readHeld->second;
    }
    const auto found = machine.exitStatus.find(program);
    return found == machine.exitStatus.end() ? 0 : found->second;
}

void WriteToConsole(const std::string& text) {
    machine.console += text;
}

bool AppendToLog(const std::string& line) {
    if (machine.heldLog.empty() || machine.unwritableLogs.count(machine.heldLog) != 0) {
        return false;
    }
    machine.logs[machine.heldLog] += line;
    machine.logWriters.push_back(machine.readHold ? "per line" : "held");
    return true;
}

void EndProcess(int code) {
    machine.events.push_back("exit " + std::to_string(code));
    throw FakeExit{code};
}

} // namespace platform
