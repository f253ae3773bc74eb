// The log file: its path opened from the root down, each name once, below the folder held above
// it; the folders and the file held to the end of the run, and the wrapper's lines appended.
#include <string>
#include <vector>

#include "platform/bounded.h"
#include "platform/characters.h"
#include "platform/platform.h"
#include "platform/win32/access.h"
#include "platform/win32/native_files.h"
#include "platform/win32/system_library.h"

namespace platform {

using win32::NativeOpen;
using win32::OpenNative;
using win32::SystemFunction;

namespace {

// What the walk holds: the root and each folder below it, then the file; and the path walked.
std::vector<HANDLE> heldFolders;
std::string walkedPath;
HANDLE heldLog = INVALID_HANDLE_VALUE;
bool logKept = false;
bool holdReads = false;

// Holding is reading the folder, listing or traversing it, without sharing deletion: a handle
// that reads no data would not stop a rename [windows.md: held-log]. A folder that denies
// listing is examined all the same, sharing deletion, and so not held.
template <typename Open> HANDLE OpenFolder(Open open, bool* listed) {
    constexpr ACCESS_MASK kExamine = FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
    HANDLE folder = open(kExamine | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE);
    *listed = folder != INVALID_HANDLE_VALUE;
    if (!*listed) {
        folder =
            open(kExamine | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    }
    return folder;
}

// A byte range far beyond any real log's end, locked by each writer of the wrapper around its
// append. Appending alone is not enough: some file systems (and Wine) find the end and write
// there in two steps, so two wrappers writing at once could overwrite each other's line. The lock
// is tried, never waited for: anyone who may read the log may lock it for as long as they like
// [windows.md: append-lock].
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockPatienceMilliseconds = 1000;

bool LockForAppend(HANDLE file, OVERLAPPED& range) {
    const DWORD start = GetTickCount();
    for (;;) {
        range = OVERLAPPED{};
        range.OffsetHigh = kAppendLockOffsetHigh;
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &range) != FALSE) {
            return true;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION ||
            GetTickCount() - start >= kLockPatienceMilliseconds) {
            return false;
        }
        Sleep(1);
    }
}

bool WriteAtEnd(HANDLE file, const std::string& bytes) {
    LARGE_INTEGER end = {};
    DWORD written = 0;
    return SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) != FALSE &&
           WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) !=
               FALSE &&
           written == bytes.size();
}

// Without the lock (another process holds it, or the file system has none) the line is still
// appended; where the system refuses the write under someone else's lock, it is lost.
bool AppendThrough(HANDLE file, const std::string& line) {
    OVERLAPPED range;
    const bool locked = LockForAppend(file, range);
    const bool ok = WriteAtEnd(file, WithCrLf(line));
    if (locked) {
        UnlockFileEx(file, 0, 1, 0, &range);
    }
    return ok;
}

// The held file opened anew, by its handle, never waiting for an opportunistic lock's break. A
// system whose native call opens no file anew that way gets the documented call, which may wait
// [windows.md: oplocks].
HANDLE ReOpen(HANDLE file, DWORD access) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    long status = 0;
    const HANDLE native = OpenNative(file, "", NativeOpen{access, kShare}, nullptr, &status);
    if (native != INVALID_HANDLE_VALUE || status == win32::kSharingViolation) {
        return native;
    }
    const auto reopen = SystemFunction<decltype(ReOpenFile)>("kernel32.dll", "ReOpenFile");
    return reopen == nullptr ? INVALID_HANDLE_VALUE : reopen(file, access, kShare, 0);
}

} // namespace

bool OpenLogRoot(const std::string& root) {
    ReleaseLogPath();
    bool listed = false;
    const HANDLE folder = OpenFolder(
        [&root](ACCESS_MASK access, DWORD share) {
            return OpenNative(nullptr, root, NativeOpen{access, share});
        },
        &listed);
    if (folder != INVALID_HANDLE_VALUE) {
        heldFolders.push_back(folder);
        walkedPath = root;
    }
    return folder != INVALID_HANDLE_VALUE;
}

// Anyone who may create folders beside this one could make it a link to a folder elsewhere, and
// the logs would be written there [windows.md: log-links, held-log]. The open does not insist on
// a folder (not every Windows takes that with a link opened itself): what it opened is examined.
PathObject OpenLogFolder(const std::string& name) {
    PathObject found;
    const HANDLE above = heldFolders.empty() ? INVALID_HANDLE_VALUE : heldFolders.back();
    const HANDLE folder =
        name.empty() || above == INVALID_HANDLE_VALUE
            ? INVALID_HANDLE_VALUE
            : OpenFolder(
                  [above, &name](ACCESS_MASK access, DWORD share) {
                      return OpenNative(above, name,
                                        NativeOpen{access, share, win32::kFileOpen,
                                                   win32::kFileOpenReparsePoint});
                  },
                  &found.listed);
    if (folder == INVALID_HANDLE_VALUE) {
        return found;
    }
    heldFolders.push_back(folder);
    walkedPath += (walkedPath.back() == '\\' ? "" : "\\") + name;
    win32::DescribeOpened(folder, GetFileAttributesA(walkedPath.c_str()), found);
    if (!found.listed) {
        found.security = win32::ReadSecurity(folder, false);
    }
    return found;
}

// Writing is the one access held while Windows Installer runs: it opens its log sharing writing
// alone [windows.md: held-log]. A log made here is for the system, its administrators and the
// runner alone; the children write it anew and keep that list [windows.md: package-trust].
PathObject OpenLogFile(const std::string& name) {
    PathObject found;
    const NativeOpen how{GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, win32::kFileOpenIf,
                         win32::kFileNonDirectoryFile | win32::kFileOpenReparsePoint,
                         win32::OwnersOnlyDescriptor()};
    const HANDLE file = name.empty() || heldFolders.empty()
                            ? INVALID_HANDLE_VALUE
                            : OpenNative(heldFolders.back(), name, how, &found.created);
    if (file == INVALID_HANDLE_VALUE) {
        return found;
    }
    heldLog = file;
    const DWORD attributes = win32::DescribeOpened(file, 0, found, &found.names);
    found.shutsOutWriters =
        (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY)) !=
        0;
    found.onDisk = GetFileType(file) == FILE_TYPE_DISK;
    if (!found.created) {
        found.security = win32::ReadSecurity(file, true);
    }
    return found;
}

// The root is not examined: it is no link [windows.md: log-links].
bool LogFolderBecameLink() {
    for (std::size_t i = 1; i < heldFolders.size(); ++i) {
        const DWORD attributes = win32::AttributesOf(heldFolders[i]);
        if (attributes == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return true;
        }
    }
    return false;
}

void KeepLog() {
    logKept = heldLog != INVALID_HANDLE_VALUE;
}

void ReleaseLogPath() {
    for (const HANDLE folder : heldFolders) {
        CloseHandle(folder);
    }
    heldFolders.clear();
    walkedPath.clear();
    if (heldLog != INVALID_HANDLE_VALUE) {
        CloseHandle(heldLog);
    }
    heldLog = INVALID_HANDLE_VALUE;
    logKept = false;
    holdReads = false;
}

bool LogKept() {
    return logKept;
}

// A hold that reads is weighed by the sharing check as one that writes is: without deletion
// shared, nobody can delete, rename or replace the file [windows.md: held-log]. Where it cannot
// be had (another process shares no reading), the write hold stays: a setup's own log may then
// be lost, but no file is let go for someone to replace.
bool HoldLogForReading() {
    if (!logKept || holdReads) {
        return holdReads;
    }
    const HANDLE reader = ReOpen(heldLog, FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (reader == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(heldLog);
    heldLog = reader;
    holdReads = true;
    return true;
}

bool AppendToLog(const std::string& line) {
    if (!logKept || heldLog == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!holdReads) {
        return AppendThrough(heldLog, line);
    }
    // A child that writes its log sharing reading alone shuts this out, and the line is lost.
    const HANDLE writer = ReOpen(heldLog, GENERIC_WRITE);
    const bool ok = writer != INVALID_HANDLE_VALUE && AppendThrough(writer, line);
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
    }
    return ok;
}

} // namespace platform
