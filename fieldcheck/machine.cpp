// Where the check runs, whether it may, and the package it lays out for the wrapper.
#include <cstdio>

#include "field.h"
#include "platform/platform.h"
#include "platform/win32/access.h"

namespace field {

namespace {

std::string TokenKind() {
    HANDLE token = nullptr;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE) {
        return "unknown";
    }
    GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    const bool system =
        GetTokenInformation(token, TokenUser, user, sizeof user, &size) != FALSE &&
        IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid) != FALSE;
    CloseHandle(token);
    const bool administrator = platform::RunsAsAdministrator();
    return std::string(system ? "SYSTEM, " : "") +
           (administrator ? "member of Administrators" : "no member of Administrators") +
           (type == TokenElevationTypeFull      ? ", elevated"
            : type == TokenElevationTypeLimited ? ", filtered"
                                                : ", no linked token");
}

std::string FileSystemOf(const std::string& path) {
    std::string name;
    return platform::QueryFileSystem(path.substr(0, 3), name) ? name : "unknown";
}

bool MakeProtectedFolder(const std::string& path) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, platform::win32::OwnersOnlyDescriptor(),
                                      FALSE};
    return CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

} // namespace

bool DescribeMachine(Field& field) {
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    unsigned long session = 0;
    platform::QuerySessionId(&session);
    field.is64 = platform::QueryIs32On64();
    field.elevated = platform::RunsAsAdministrator();
    const bool restricted =
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    std::printf("Lumenor field check on %s\n", computer);
    std::printf("Windows %lu.%lu build %lu (%s), %s-bit\n", version.dwMajorVersion,
                version.dwMinorVersion, version.dwBuildNumber,
                version.szCSDVersion[0] != '\0' ? version.szCSDVersion : "no service pack",
                field.is64 ? "64" : "32");
    std::printf("SetDefaultDllDirectories (KB2533623): %s; session %lu; token: %s; code page %u; "
                "file system of this folder: %s\n",
                restricted ? "present" : "absent", session, TokenKind().c_str(), GetACP(),
                FileSystemOf(field.home).c_str());
    const std::string installed = InstalledRelease();
    if (installed.empty()) {
        return true;
    }
    unsigned char publisher[256] = {};
    unsigned long publisherSize = sizeof publisher - 1;
    platform::ReadRegistryValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                "{7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24}",
                                "Publisher", publisher, &publisherSize);
    if (std::string(reinterpret_cast<char*>(publisher)) == "Lumenor test packages") {
        return true;
    }
    std::printf("Lumenor %s is installed: the check installs and removes the product, so it runs "
                "only where no release or one of its own test packages is installed.\n",
                installed.c_str());
    return false;
}

// At the system drive's root, which no one but administrators can rename, in a folder for
// administrators and the runner alone, so that the wrapper judges the package as it would judge
// one laid out by the deployment reference.
bool LayOut(Field& field) {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    field.work =
        std::string(windows).substr(0, 3) + "LumenorFieldCheck." + Number(GetCurrentProcessId());
    field.package = field.work + "\\pkg";
    field.logs = field.work + "\\logs";
    field.record = field.work + "\\record.txt";
    if (!MakeProtectedFolder(field.work) || !MakeProtectedFolder(field.package) ||
        !MakeProtectedFolder(field.logs)) {
        std::printf("The work folder %s could not be made.\n", field.work.c_str());
        return false;
    }
    SetEnvironmentVariableA("STANDIN_RECORD", field.record.c_str());
    bool laid = CopyInto(field.home + "\\setup.exe", field.package + "\\setup.exe") &&
                CopyInto(field.home + "\\standin.exe", field.work + "\\probe.exe");
    for (const char* folder : {"\\Win7", "\\Win7\\64", "\\Win7\\32"}) {
        laid = CreateDirectoryA((field.package + folder).c_str(), nullptr) != FALSE && laid;
    }
    for (const char* folder : {"", "\\Win7\\64", "\\Win7\\32"}) {
        for (const char* library :
             {"setupapi", "uxtheme", "dwmapi", "cryptbase", "version", "ntmarta"}) {
            laid = CopyInto(field.home + "\\canary.dll",
                            field.package + folder + "\\" + library + ".dll") &&
                   laid;
        }
    }
    for (const char* folder : {"\\Win7\\64", "\\Win7\\32"}) {
        laid = CopyInto(field.home + "\\standin.exe", field.package + folder + "\\setup.exe") &&
               CopyInto(field.home + "\\packages\\lumenor-1.8.0.0.msi",
                        field.package + folder + "\\lumenor.msi") &&
               laid;
    }
    if (!laid) {
        std::printf("The package could not be laid out in %s: is this folder complete?\n",
                    field.work.c_str());
    }
    return laid;
}

} // namespace field
