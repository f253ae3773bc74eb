// The Windows side of the platform seam; the only file that sees the Windows API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

struct CommandPipe {
    FILE* stream;
};

namespace {

// Every system library beyond kernel32 is loaded when first needed: most runs never show the
// question or re-enumerate, and a usage run needs none of them. Under Wine, loading user32 at
// start-up alone costs half as much again as the rest of a short run. The search is the one the
// loader makes for an import.
FARPROC FindSystemFunction(const char* library, const char* name) {
    const HMODULE module = LoadLibraryA(library);
    return module == nullptr ? nullptr : GetProcAddress(module, name);
}

// Through a generic function pointer: FARPROC's own signature matches none of them.
template <typename Function> Function* SystemFunction(const char* library, const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(FindSystemFunction(library, name)));
}

constexpr unsigned long kConfigFailure = CR_FAILURE;

} // namespace

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
    const auto messageBox = SystemFunction<decltype(MessageBoxA)>("user32.dll", "MessageBoxA");
    return messageBox == nullptr ? 0 : messageBox(nullptr, text.c_str(), caption.c_str(), MB_YESNO);
}

std::size_t GetCurrentFolder(char* buffer, std::size_t capacity) {
    return GetCurrentDirectoryA(static_cast<DWORD>(capacity), buffer);
}

bool SetCurrentFolder(const std::string& path) {
    return SetCurrentDirectoryA(path.c_str()) != 0;
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

void Wait(unsigned long milliseconds) {
    Sleep(milliseconds);
}

CommandPipe* OpenCommandPipe(const std::string& command) {
    // Binary, not text: in text mode the C runtime takes a Ctrl-Z byte in the child's output for
    // the end of the stream, and closing the pipe early breaks the child's remaining writes.
    // The output is discarded, so line-end translation does not matter.
    // The interpreter is part of the contract: it finds the children in the current folder. The
    // command lines are built from fixed pieces and a log path checked for quotes.
    FILE* stream = _popen(command.c_str(), "rb"); // NOLINT(cert-env33-c)
    if (stream == nullptr) {
        return nullptr;
    }
    return new CommandPipe{stream};
}

// A read at least as large as the stream's buffer bypasses it and goes to the pipe whole; per-line
// reads would cost a pass over every byte for output that is discarded anyway.
bool ReadCommandPipe(CommandPipe* pipe, char* buffer, std::size_t capacity) {
    return std::fread(buffer, 1, capacity, pipe->stream) > 0;
}

void CloseCommandPipe(CommandPipe* pipe) {
    _pclose(pipe->stream);
    delete pipe;
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

// One write of the finished bytes: the C runtime's text mode hands each line to the system by
// itself, which under Wine costs more than the rest of a usage run. The bytes are the same.
void WriteToConsole(const std::string& text) {
    const std::string bytes = WithCrLf(text);
    DWORD written = 0;
    // Nowhere to report a console that cannot be written to.
    (void)WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
                    &written, nullptr);
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
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
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
