// What the wrapper writes: text on the console, and lines appended to its log.
#include <cstddef>
#include <string>

#include "platform/characters.h"
#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform {

namespace {

bool IsLinked(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileInformationByHandle(file, &information) == FALSE ||
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
           information.nNumberOfLinks > 1;
}

} // namespace

// The link itself is opened, not what it leads to, for its attributes alone: that is never refused
// for another's sharing [windows.md: log-links].
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
// there in two steps, so two wrappers writing at once could overwrite each other's line
// [windows.md: append-lock].
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

} // namespace platform
