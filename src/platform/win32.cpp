// The Windows side of the platform seam; the only file that sees the Windows API.
// Declarations up to Windows 7; what XP and Vista lack is looked up at run time, so that the
// program still starts there to refuse them.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>
#include <objbase.h>
#include <shellapi.h>
#include <winnetwk.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/characters.h"
#include "platform/platform.h"

namespace platform {

struct ChildProcess {
    HANDLE process;
    HANDLE output;
};

namespace {

// ERROR_ELEVATION_REQUIRED, which MinGW's headers lack.
constexpr DWORD kElevationRequired = 740;

// LOAD_LIBRARY_SEARCH_SYSTEM32, which older SDK headers declare only for later Windows.
constexpr DWORD kSearchSystemFolderOnly = 0x00000800;

// Every system library beyond kernel32 is loaded when first needed: most runs never show the
// question or re-enumerate, and a usage run needs none of them. Under Wine, loading user32 at
// start-up alone costs half as much again as the rest of a short run.
//
// Always by its full path in the system folder: the wrapper runs elevated from folders others can
// write to, and a bare name is searched for in the program's own folder first. What a library
// imports is then looked for beside it.
HMODULE LoadSystemLibrary(const char* library) {
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::string path(folder, length);
    path += '\\';
    path += library;
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Windows' own code loads these by name, from the program's folder first where the search is not
// restricted: loaded by full path beforehand, they are found already loaded. Not every Windows has
// each.
void LoadEachSystemLibrary(std::initializer_list<const char*> libraries) {
    for (const char* library : libraries) {
        LoadSystemLibrary(library);
    }
}

// kernel32 is in every process already, and is never loaded again. The libraries system code
// loads by name come first, before any other library can load them.
FARPROC FindSystemFunction(const char* library, const char* name) {
    if (std::strcmp(library, "kernel32.dll") == 0) {
        return GetProcAddress(GetModuleHandleA(library), name);
    }
    static bool systemCodesOwnLoaded = false;
    if (!systemCodesOwnLoaded) {
        systemCodesOwnLoaded = true;
        LoadEachSystemLibrary({"cryptbase.dll", "version.dll", "ntmarta.dll"});
    }
    const HMODULE module = LoadSystemLibrary(library);
    return module == nullptr ? nullptr : GetProcAddress(module, name);
}

// Through a generic function pointer: FARPROC's own signature matches none of them.
template <typename Function> Function* SystemFunction(const char* library, const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(FindSystemFunction(library, name)));
}

// Only the system folder is searched where the system allows it (Windows 7 with KB2533623 and
// later); elsewhere at least the current folder is taken out of the search.
void RestrictLibrarySearch() {
    using SetDefaultDirectories = BOOL WINAPI(DWORD);
    const auto restrictSearch =
        SystemFunction<SetDefaultDirectories>("kernel32.dll", "SetDefaultDllDirectories");
    if (restrictSearch == nullptr || restrictSearch(kSearchSystemFolderOnly) == FALSE) {
        SetDllDirectoryA("");
    }
}

constexpr unsigned long kConfigFailure = CR_FAILURE;

} // namespace

// The flags are added to those the wrapper inherited; GetErrorMode is not in XP.
void PrepareProcess() {
    const UINT inherited = SetErrorMode(0);
    SetErrorMode(inherited | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RestrictLibrarySearch();
}

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
    // The question box's own, only where it is shown: they bring user32 with them.
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

namespace {

bool IsLinked(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileInformationByHandle(file, &information) == FALSE ||
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
           information.nNumberOfLinks > 1;
}

} // namespace

// The link itself is opened, not what it leads to, for its attributes alone: that is never refused
// for another's sharing.
bool LeadsElsewhere(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    const bool linked = IsLinked(file);
    CloseHandle(file);
    return linked;
}

bool IsLeadByte(char byte) {
    return IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
}

void Wait(unsigned long milliseconds) {
    Sleep(milliseconds);
}

namespace {

// The child needs its own inheritable copies: a parent that redirected the wrapper's standard
// handles need not have made them inheritable. No handle at all is passed on as none.
HANDLE InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                        DUPLICATE_SAME_ACCESS) == FALSE) {
        return nullptr;
    }
    return copy;
}

void CloseIfOpen(HANDLE handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
    }
}

// Windows 7 refuses its console pseudo-handles in a handle list; the child reaches the console
// through its own attachment to it. Only Windows 7 and earlier have them: Wine's console handles
// are ordinary, so no test here reaches this filter.
bool IsConsolePseudoHandle(HANDLE handle) {
    return (reinterpret_cast<std::uintptr_t>(handle) & 3) == 3 &&
           GetFileType(handle) == FILE_TYPE_CHAR;
}

// Limits what the child inherits to the handles it is given (Vista and later): otherwise every
// inheritable handle the wrapper itself inherited would be passed on.
struct InheritanceList {
    std::vector<unsigned char> storage;
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;
    HANDLE handles[3] = {};
    std::size_t count = 0;
};

bool RestrictInheritance(InheritanceList& list, const STARTUPINFOA& startup) {
    for (const HANDLE handle : {startup.hStdOutput, startup.hStdInput, startup.hStdError}) {
        if (handle != nullptr && !IsConsolePseudoHandle(handle)) {
            list.handles[list.count++] = handle;
        }
    }
    const auto initialize = SystemFunction<decltype(InitializeProcThreadAttributeList)>(
        "kernel32.dll", "InitializeProcThreadAttributeList");
    const auto update = SystemFunction<decltype(UpdateProcThreadAttribute)>(
        "kernel32.dll", "UpdateProcThreadAttribute");
    SIZE_T size = 0;
    if (initialize == nullptr || update == nullptr) {
        return false;
    }
    initialize(nullptr, 1, 0, &size);
    list.storage.resize(size);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.storage.data());
    if (initialize(attributes, 1, 0, &size) == FALSE) {
        return false;
    }
    list.attributes = attributes;
    return update(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list.handles,
                  list.count * sizeof(HANDLE), nullptr, nullptr) != FALSE;
}

void ReleaseInheritanceList(InheritanceList& list) {
    const auto release = SystemFunction<decltype(DeleteProcThreadAttributeList)>(
        "kernel32.dll", "DeleteProcThreadAttributeList");
    if (list.attributes != nullptr && release != nullptr) {
        release(list.attributes);
    }
}

// The program is named by its absolute path, so nothing is searched for; the command line is
// passed as it is, and no interpreter sees it. The child gets the system's default error mode,
// not the wrapper's.
DWORD CreateChild(const std::string& program, const std::string& commandLine, STARTUPINFOA& startup,
                  PROCESS_INFORMATION& started) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOEXA extended = {};
    extended.StartupInfo = startup;
    extended.StartupInfo.cb = sizeof extended;
    InheritanceList list;
    const bool restricted = RestrictInheritance(list, startup);
    extended.lpAttributeList = list.attributes;
    bool ok = restricted && CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                           CREATE_DEFAULT_ERROR_MODE | EXTENDED_STARTUPINFO_PRESENT,
                                           nullptr, nullptr, &extended.StartupInfo, &started) != 0;
    ReleaseInheritanceList(list);
    // Where the list is refused, the setup must still run: the wider inheritance is the lesser
    // harm.
    if (!ok) {
        ok = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                            CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &started) != 0;
    }
    return ok ? ERROR_SUCCESS : GetLastError();
}

} // namespace

ChildProcess* StartChild(const std::string& program, const std::string& commandLine,
                         StartFailure* failure) {
    *failure = StartFailure::Other;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (CreatePipe(&readEnd, &writeEnd, &inheritable, 0) == FALSE) {
        return nullptr;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableCopy(GetStdHandle(STD_INPUT_HANDLE));
    startup.hStdOutput = writeEnd;
    startup.hStdError = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    PROCESS_INFORMATION started = {};
    const DWORD error = CreateChild(program, commandLine, startup, started);
    CloseIfOpen(startup.hStdInput);
    CloseIfOpen(startup.hStdError);
    // Only the child holds the write end now, so the output ends when the child closes it.
    CloseHandle(writeEnd);
    if (error != ERROR_SUCCESS) {
        CloseHandle(readEnd);
        *failure = error == kElevationRequired ? StartFailure::NeedsElevation : StartFailure::Other;
        return nullptr;
    }
    CloseHandle(started.hThread);
    *failure = StartFailure::None;
    return new ChildProcess{started.hProcess, readEnd};
}

namespace {

// The shell and COM load these by name; without KB2533623 Windows 7 still searches the program's
// folder first, and a planted one would decide what the consent prompt shows.
void LoadShellsOwnLibraries() {
    LoadEachSystemLibrary({"uxtheme.dll", "dwmapi.dll", "userenv.dll", "profapi.dll", "apphelp.dll",
                           "propsys.dll", "oleacc.dll", "clbcatq.dll", "comres.dll"});
}

// The shell may hand the start to extensions that need COM on this thread. False when COM was not
// initialised here, so that it is not released either.
bool PrepareShell() {
    LoadShellsOwnLibraries();
    const auto initialize = SystemFunction<decltype(CoInitializeEx)>("ole32.dll", "CoInitializeEx");
    return initialize != nullptr &&
           SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

void ReleaseShell(bool prepared) {
    const auto uninitialize =
        SystemFunction<decltype(CoUninitialize)>("ole32.dll", "CoUninitialize");
    if (prepared && uninitialize != nullptr) {
        uninitialize();
    }
}

} // namespace

// No verb: the program's own manifest decides, and the consent prompt is shown where it asks for
// elevation, owned by the console window so that it comes to the front. No error box of the
// shell's: a failure ends the run with its exit code. The folder is always given: an elevated
// process would not inherit one on a mapped drive.
ChildProcess* StartThroughShell(const std::string& program, const std::string& parameters,
                                const std::string& folder) {
    const auto execute =
        SystemFunction<decltype(ShellExecuteExA)>("shell32.dll", "ShellExecuteExA");
    if (execute == nullptr) {
        return nullptr;
    }
    const bool prepared = PrepareShell();
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = GetConsoleWindow();
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = execute(&info) != FALSE && info.hProcess != nullptr;
    ReleaseShell(prepared);
    return started ? new ChildProcess{info.hProcess, nullptr} : nullptr;
}

// Only a drive letter that the user mapped has a share behind it: GetDriveTypeA says so.
std::size_t GetUniversalPath(const std::string& path, char* buffer, std::size_t capacity) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') {
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
    const std::size_t length = std::strlen(answer.info.lpUniversalName);
    if (length + 1 > capacity) {
        return length + 1;
    }
    std::memcpy(buffer, answer.info.lpUniversalName, length + 1);
    return length;
}

// A successful read of nothing is not the end: only a broken pipe is.
bool ReadChildOutput(ChildProcess* child, char* buffer, std::size_t capacity) {
    DWORD got = 0;
    return child->output != nullptr &&
           ReadFile(child->output, buffer, static_cast<DWORD>(capacity), &got, nullptr) != FALSE;
}

namespace {

// A thread that used COM for the shell owns a hidden window: a program that broadcasts a message
// with SendMessage waits until this thread has dispatched it (KB 136885).
void WaitDispatchingMessages(HANDLE process) {
    const auto wait = SystemFunction<decltype(MsgWaitForMultipleObjects)>(
        "user32.dll", "MsgWaitForMultipleObjects");
    const auto peek = SystemFunction<decltype(PeekMessageA)>("user32.dll", "PeekMessageA");
    const auto dispatch =
        SystemFunction<decltype(DispatchMessageA)>("user32.dll", "DispatchMessageA");
    DWORD woken = WAIT_FAILED;
    while (wait != nullptr && peek != nullptr && dispatch != nullptr &&
           (woken = wait(1, &process, FALSE, INFINITE, QS_ALLINPUT)) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (peek(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            dispatch(&message);
        }
    }
    if (woken != WAIT_OBJECT_0) {
        WaitForSingleObject(process, INFINITE);
    }
}

} // namespace

unsigned long WaitForChild(ChildProcess* child, bool dispatchMessages) {
    CloseIfOpen(child->output);
    if (dispatchMessages) {
        WaitDispatchingMessages(child->process);
    } else {
        WaitForSingleObject(child->process, INFINITE);
    }
    DWORD status = kUnknownExitStatus;
    if (GetExitCodeProcess(child->process, &status) == FALSE) {
        status = kUnknownExitStatus;
    }
    CloseHandle(child->process);
    delete child;
    return status;
}

namespace {

std::string WithCrLf(const std::string& text) {
    std::string converted;
    converted.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    return converted;
}

} // namespace

// The finished bytes in few writes: the C runtime's text mode hands each line to the system by
// itself, which under Wine costs more than the rest of a usage run. The bytes are the same.
void WriteToConsole(const std::string& text) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(output, &mode) != FALSE;
    WriteInPieces(WithCrLf(text), console,
                  [output](const char* bytes, std::size_t size, std::size_t* written) {
                      DWORD count = 0;
                      const bool ok = WriteFile(output, bytes, static_cast<DWORD>(size), &count,
                                                nullptr) != FALSE;
                      *written = count;
                      return ok;
                  });
}

namespace {

// A byte range far beyond any real log's end, locked by each writer of the wrapper around its
// append. Appending alone is not enough: some file systems (and Wine) find the end and write
// there in two steps, so two wrappers writing at once could overwrite each other's line.
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

bool LockForAppend(HANDLE file, OVERLAPPED& range) {
    range = OVERLAPPED{};
    range.OffsetHigh = kAppendLockOffsetHigh;
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) != FALSE;
}

bool WriteAtEnd(HANDLE file, const std::string& bytes) {
    LARGE_INTEGER end = {};
    DWORD written = 0;
    return SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) != FALSE &&
           WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) !=
               FALSE &&
           written == bytes.size();
}

} // namespace

bool AppendToLog(const std::string& path, const std::string& line) {
    if (path.empty()) {
        return false;
    }
    // Checked again on the handle written through: a link may have been made since the path was
    // checked, or the path was never resolved (a bad argument after -f2).
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (IsLinked(file)) {
        CloseHandle(file);
        return false;
    }
    OVERLAPPED range;
    // Without the lock (a file system that has none) the line is still appended.
    const bool locked = LockForAppend(file, range);
    const bool ok = WriteAtEnd(file, WithCrLf(line));
    if (locked) {
        UnlockFileEx(file, 0, 1, 0, &range);
    }
    CloseHandle(file);
    return ok;
}

void EndProcess(int code) {
    std::exit(code);
}

} // namespace platform
