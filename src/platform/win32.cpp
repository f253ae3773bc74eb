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
    using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
    const FARPROC found = GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process");
    if (found == nullptr) {
        return false;
    }
    // Through a generic function pointer: FARPROC's own signature does not match.
    const auto isWow64 = reinterpret_cast<IsWow64Function>(reinterpret_cast<void (*)()>(found));
    BOOL wow64 = FALSE;
    isWow64(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

long ReadRegistryValue(const std::string& key, const std::string& name, unsigned char* buffer,
                       unsigned long* size) {
    HKEY opened = nullptr;
    const LONG openStatus =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (openStatus != ERROR_SUCCESS) {
        return openStatus;
    }
    DWORD dataSize = *size;
    const LONG status = RegQueryValueExA(opened, name.c_str(), nullptr, nullptr, buffer, &dataSize);
    RegCloseKey(opened);
    *size = dataSize;
    return status;
}

unsigned long LocateRootDeviceNode(unsigned long* node) {
    DEVINST root = 0;
    const CONFIGRET result = CM_Locate_DevNodeA(&root, nullptr, 0);
    *node = root;
    return result;
}

unsigned long ReenumerateDeviceNode(unsigned long node) {
    return CM_Reenumerate_DevNode(node, 0);
}

int AskYesNo(const std::string& text, const std::string& caption) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_YESNO);
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
    // Our own output first: the child may write to the same console.
    (void)std::fflush(stdout);
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

bool ReadCommandPipe(CommandPipe* pipe, char* buffer, int capacity) {
    return std::fgets(buffer, capacity, pipe->stream) != nullptr;
}

void CloseCommandPipe(CommandPipe* pipe) {
    _pclose(pipe->stream);
    delete pipe;
}

void WriteToConsole(const std::string& text) {
    // Nowhere to report a console that cannot be written to.
    (void)std::fwrite(text.data(), 1, text.size(), stdout);
    (void)std::fflush(stdout);
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
    (void)std::fflush(stdout);
    std::exit(code);
}

} // namespace platform
