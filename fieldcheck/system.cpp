// What the check can see directly, through the wrapper's own Windows side where it has a call
// for it: the version, the registry view, the system folder, the console, libraries, the
// session, a child's error mode.
#include <cstring>
#include <string>

#include "field.h"
#include "platform/bounded.h"
#include "platform/characters.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace field {

namespace {

constexpr char kTestKey[] = "SOFTWARE\\LumenorFieldCheck";

void CheckVersion(Field& field) {
    const platform::OsVersion version = platform::QueryVersion();
    const bool assumed = version.major == 6 && (version.minor == 1 || version.minor == 2);
    Judge(field, "version-6.2", assumed,
          "GetVersionExA says " + Number(version.major) + "." + Number(version.minor));
}

// Written in the 32-bit view by name, read back as the wrapper reads its value.
void CheckRegistryView(Field& field) {
    HKEY key = nullptr;
    const char value[] = "field check";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        Note(field, "registry-view", Verdict::NotTried, "the test key could not be made");
        return;
    }
    RegSetValueExA(key, "View", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    RegCloseKey(key);
    unsigned char read[64] = {};
    unsigned long size = sizeof read;
    const long status = platform::ReadRegistryValue(kTestKey, "View", read, &size);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestKey); // the 32-bit process deletes in its own view
    Judge(field, "registry-view", status == 0 && std::strcmp(value, (char*)read) == 0,
          status == 0 ? "a value written in the 32-bit view is read back"
                      : "a value written in the 32-bit view is not found (" + Number(status) + ")");
}

void CheckSystemFolder(Field& field) {
    std::string system;
    platform::ReadSystemFolder(system);
    const HANDLE file = CreateFileA((system + "\\msiexec.exe").c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    char opened[MAX_PATH] = "";
    using FinalPath = DWORD WINAPI(HANDLE, char*, DWORD, DWORD);
    const auto finalPath = reinterpret_cast<FinalPath*>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    if (file == INVALID_HANDLE_VALUE || finalPath == nullptr ||
        finalPath(file, opened, sizeof opened, 0) == 0) {
        Note(field, "wow64-folder", Verdict::NotTried, "msiexec.exe's final path cannot be read");
    } else {
        std::string path = opened;
        for (char& c : path) {
            c = platform::FoldAsciiCase(c);
        }
        const bool redirected = path.find("\\syswow64\\") != std::string::npos;
        Judge(field, "wow64-folder", redirected == field.is64,
              system + "\\msiexec.exe opens " + opened);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

// The console's handles, and one write of 30 KB; only in a console window.
void CheckConsole(Field& field) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode) == FALSE) {
        return;
    }
    const auto bits = reinterpret_cast<ULONG_PTR>(output) & 3;
    Judge(field, "console-pseudo-handles", bits == 3,
          "standard output's handle " + Hex(static_cast<unsigned long>(bits)) + " in its low bits");
    const std::string text(30 * 1024, ' ');
    DWORD written = 0;
    const bool whole =
        WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    WriteFile(output, "\r\n", 2, &written, nullptr);
    Note(field, "console-piece", Verdict::AsAssumed,
         whole ? "one 30 KB write went through" : "one 30 KB write failed");
}

void CheckLibraries(Field& field) {
    const bool restricted =
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
    Note(field, "dll-search", Verdict::AsAssumed,
         restricted ? "SetDefaultDllDirectories present" : "SetDefaultDllDirectories absent");
    HKEY key = nullptr;
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    const bool listed =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                      KEY_QUERY_VALUE, &key) == ERROR_SUCCESS &&
        RegQueryValueExA(key, "kernel32", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS;
    if (key != nullptr) {
        RegCloseKey(key);
    }
    const bool loaded =
        GetModuleHandleA("kernel32.dll") != nullptr && GetModuleHandleA("ntdll.dll") != nullptr;
    Judge(field, "known-dlls", listed && loaded,
          std::string(listed ? "kernel32 is a known DLL" : "kernel32 is no known DLL") +
              (loaded ? ", both in the process" : ", not both in the process"));
}

void CheckSession(Field& field) {
    unsigned long session = 0;
    bool visible = false;
    const bool read =
        platform::QuerySessionId(&session) && platform::QueryWindowStationVisible(&visible);
    Note(field, "nobody-to-answer", read ? Verdict::AsAssumed : Verdict::NotTried,
         read ? "session " + Number(session) + ", window station " +
                    (visible ? "visible" : "invisible")
              : "the session cannot be read");
}

void CheckCodePage(Field& field) {
    const UINT page = GetACP();
    if (page != 932 && page != 936 && page != 949 && page != 950) {
        return;
    }
    const std::string name = "\x83\x5C"; // a lead byte, then "\" as its second byte in 932
    const bool lead = platform::IsLeadByte(name[0]);
    Judge(field, "dbcs", page != 932 || (lead && platform::Separators(name).empty()),
          "code page " + Number(page) + (lead ? ": 0x83 leads" : ": 0x83 does not lead"));
}

// A stand-in started directly, as the wrapper is by a deployment tool, with the error mode the
// wrapper sets: it inherits it; the setup the wrapper starts gets the default (CheckRuns).
void CheckErrorMode(Field& field) {
    const UINT before = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    TakeRecord(field);
    const Run run = RunProgram(field, field.work + "\\probe.exe", "probe.exe", field.work, 60000);
    SetErrorMode(before);
    const std::string expected =
        "errormode|PROBE|" + Number(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const std::vector<std::string> record = TakeRecord(field);
    std::string seen = "a child started without CREATE_DEFAULT_ERROR_MODE ";
    for (const std::string& line : record) {
        if (line.compare(0, 15, "errormode|PROBE") == 0) {
            seen += "got " + line.substr(16);
        }
    }
    Judge(field, "error-mode", run.started && Recorded(record, expected),
          seen + " (parent's " + Number(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX) + ")");
}

} // namespace

void CheckSystem(Field& field) {
    CheckVersion(field);
    CheckRegistryView(field);
    CheckSystemFolder(field);
    CheckConsole(field);
    CheckLibraries(field);
    CheckSession(field);
    CheckCodePage(field);
    CheckErrorMode(field);
}

} // namespace field
