// The system's answers: its version, registry and devices, the session and window station and the
// question asked there, folders, environment, drives and code page; and the process's waits and
// end.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/bounded.h"
#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform {

using win32::LoadEachSystemLibrary;
using win32::SystemFunction;

namespace {

constexpr unsigned long kConfigFailure = CR_FAILURE;

} // namespace

// Windows 8 and later say 6.2 to a program that lists no supported systems
// [windows.md: version-6.2].
OsVersion QueryVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    GetVersionExA(&info);
    return OsVersion{info.dwMajorVersion, info.dwMinorVersion};
}

bool QueryIs32On64() {
    const auto isWow64 =
        SystemFunction<BOOL WINAPI(HANDLE, PBOOL)>("kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
}

// The 32-bit view, where a 32-bit package's entry is [windows.md: registry-view].
long ReadRegistryValue(const std::string& key, const std::string& name, unsigned char* buffer,
                       unsigned long* size) {
    const auto open = SystemFunction<decltype(RegOpenKeyExA)>("advapi32.dll", "RegOpenKeyExA");
    const auto query =
        SystemFunction<decltype(RegQueryValueExA)>("advapi32.dll", "RegQueryValueExA");
    const auto close = SystemFunction<decltype(RegCloseKey)>("advapi32.dll", "RegCloseKey");
    if (open == nullptr || query == nullptr || close == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    HKEY opened = nullptr;
    const LONG openStatus = open(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (openStatus != ERROR_SUCCESS) {
        return openStatus;
    }
    DWORD dataSize = *size;
    const LONG status = query(opened, name.c_str(), nullptr, nullptr, buffer, &dataSize);
    close(opened);
    *size = dataSize;
    return status;
}

unsigned long LocateRootDeviceNode(unsigned long* node) {
    const auto locate =
        SystemFunction<decltype(CM_Locate_DevNodeA)>("setupapi.dll", "CM_Locate_DevNodeA");
    if (locate == nullptr) {
        return kConfigFailure;
    }
    DEVINST root = 0;
    const CONFIGRET result = locate(&root, nullptr, 0);
    *node = root;
    return result;
}

unsigned long ReenumerateDeviceNode(unsigned long node) {
    const auto reenumerate =
        SystemFunction<decltype(CM_Reenumerate_DevNode)>("setupapi.dll", "CM_Reenumerate_DevNode");
    return reenumerate == nullptr ? kConfigFailure : reenumerate(node, 0);
}

// 0, as when the box cannot be shown, if user32 is missing: no consent.
int AskYesNo(const std::string& text, const std::string& caption) {
    // The question box's own, only where it is shown: they bring user32 with them
    // [windows.md: loaded-by-name].
    LoadEachSystemLibrary({"uxtheme.dll", "dwmapi.dll"});
    const auto messageBox = SystemFunction<decltype(MessageBoxA)>("user32.dll", "MessageBoxA");
    return messageBox == nullptr ? 0 : messageBox(nullptr, text.c_str(), caption.c_str(), MB_YESNO);
}

bool QuerySessionId(unsigned long* session) {
    const auto toSession =
        SystemFunction<decltype(ProcessIdToSessionId)>("kernel32.dll", "ProcessIdToSessionId");
    DWORD id = 0;
    if (toSession == nullptr || toSession(GetCurrentProcessId(), &id) == FALSE) {
        return false;
    }
    *session = id;
    return true;
}

bool QueryWindowStationVisible(bool* visible) {
    const auto station =
        SystemFunction<decltype(GetProcessWindowStation)>("user32.dll", "GetProcessWindowStation");
    const auto information = SystemFunction<decltype(GetUserObjectInformationA)>(
        "user32.dll", "GetUserObjectInformationA");
    if (station == nullptr || information == nullptr) {
        return false;
    }
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    const HWINSTA current = station();
    if (current == nullptr || information(current, UOI_FLAGS, &flags, sizeof flags, &needed) == 0) {
        return false;
    }
    *visible = (flags.dwFlags & WSF_VISIBLE) != 0;
    return true;
}

std::size_t GetCurrentFolder(char* buffer, std::size_t capacity) {
    return GetCurrentDirectoryA(static_cast<DWORD>(capacity), buffer);
}

bool SetCurrentFolder(const std::string& path) {
    return SetCurrentDirectoryA(path.c_str()) != 0;
}

std::size_t GetSystemFolder(char* buffer, std::size_t capacity) {
    return GetSystemDirectoryA(buffer, static_cast<UINT>(capacity));
}

std::size_t GetEnvironmentValue(const std::string& name, char* buffer, std::size_t capacity) {
    return GetEnvironmentVariableA(name.c_str(), buffer, static_cast<DWORD>(capacity));
}

ObjectKind QueryObject(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return ObjectKind::Missing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ObjectKind::Folder : ObjectKind::File;
}

std::size_t GetFullPath(const std::string& path, char* buffer, std::size_t capacity) {
    return GetFullPathNameA(path.c_str(), static_cast<DWORD>(capacity), buffer, nullptr);
}

namespace {

// A letter made with subst names "\??\" and its folder: "\??\C:\pkg", or "\??\UNC\server\share" for
// a share. The folder, with the rest of `path`; empty for any other drive.
std::string SubstitutedPath(const std::string& path) {
    const char drive[] = {path[0], ':', '\0'};
    char target[MAX_PATH + 8] = {};
    if (QueryDosDeviceA(drive, target, sizeof target) == 0 ||
        std::strncmp(target, "\\??\\", 4) != 0) {
        return std::string();
    }
    const std::string folder(target + 4);
    const std::string rest = path.substr(2);
    return folder.compare(0, 4, "UNC\\") == 0 ? "\\\\" + folder.substr(4) + rest : folder + rest;
}

bool IsOnDriveLetter(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && path[2] == '\\';
}

// Only a drive letter mapped to a network share has one: GetDriveTypeA says so.
std::size_t SharePath(const std::string& path, char* buffer, std::size_t capacity) {
    if (!IsOnDriveLetter(path)) {
        return 0;
    }
    const char root[] = {path[0], ':', '\\', '\0'};
    const auto universalName =
        SystemFunction<decltype(WNetGetUniversalNameA)>("mpr.dll", "WNetGetUniversalNameA");
    if (GetDriveTypeA(root) != DRIVE_REMOTE || universalName == nullptr) {
        return 0;
    }
    // The answer is the structure followed by the text it points to.
    union {
        UNIVERSAL_NAME_INFOA info;
        char bytes[1024];
    } answer = {};
    DWORD size = sizeof answer;
    if (universalName(path.c_str(), UNIVERSAL_NAME_INFO_LEVEL, &answer, &size) != NO_ERROR ||
        answer.info.lpUniversalName == nullptr) {
        return 0;
    }
    return CopyOut(answer.info.lpUniversalName, buffer, capacity);
}

} // namespace

// A drive letter that the user made, with subst or by mapping a share, is the user's own: an
// elevated process does not see it [windows.md: mapped-drives]. One level of subst is followed,
// so that letters made to lead to each other end.
std::size_t GetUniversalPath(const std::string& path, char* buffer, std::size_t capacity) {
    if (!IsOnDriveLetter(path)) {
        return 0;
    }
    const std::string substituted = SubstitutedPath(path);
    const std::size_t shared =
        SharePath(substituted.empty() ? path : substituted, buffer, capacity);
    return shared != 0 || substituted.empty() ? shared : CopyOut(substituted, buffer, capacity);
}

// [windows.md: dbcs]
bool IsLeadByte(char byte) {
    return IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
}

void Wait(unsigned long milliseconds) {
    Sleep(milliseconds);
}

void EndProcess(int code) {
    std::exit(code);
}

} // namespace platform
