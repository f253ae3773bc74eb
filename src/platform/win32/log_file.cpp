// The log file: its path opened from the root down, each name once, below the folder held above
// it; the folders and the file held to the end of the run, and the wrapper's lines appended.
#include <cstring>
#include <string>
#include <vector>

#include "platform/bounded.h"
#include "platform/characters.h"
#include "platform/platform.h"
#include "platform/win32/system_library.h"

#include <winternl.h>

namespace platform {

using win32::SystemFunction;

namespace {

// The native calls' values, which not every SDK's headers give.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileOpenIf = 3;
constexpr ULONG kFileDirectoryFile = 0x00000001;
constexpr ULONG kFileSynchronousIo = 0x00000020;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenReparsePoint = 0x00200000;
constexpr ULONG_PTR kFileCreated = 2;
constexpr ULONG kCaseInsensitive = 0x00000040;

using NtCreateFileCall = LONG NTAPI(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                    LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);

// What the walk holds: the root and each folder below it, then the file; and the path walked.
std::vector<HANDLE> heldFolders;
std::string walkedPath;
HANDLE heldLog = INVALID_HANDLE_VALUE;
bool logKept = false;
bool holdReads = false;

// One name below a held folder, as the native calls take it. Not to be copied: it points into
// itself.
struct RelativeName {
    wchar_t text[kPathBufferSize];
    UNICODE_STRING string;
    OBJECT_ATTRIBUTES attributes;
};

bool SetRelativeName(const std::string& name, RelativeName& out) {
    const int length =
        name.empty() || name.size() >= kPathBufferSize || heldFolders.empty()
            ? 0
            : MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(),
                                  static_cast<int>(name.size()), out.text, kPathBufferSize - 1);
    if (length <= 0) {
        return false;
    }
    out.string.Buffer = out.text;
    out.string.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    out.string.MaximumLength = out.string.Length;
    out.attributes = OBJECT_ATTRIBUTES{};
    out.attributes.Length = sizeof out.attributes;
    out.attributes.RootDirectory = heldFolders.back();
    out.attributes.ObjectName = &out.string;
    out.attributes.Attributes = kCaseInsensitive;
    return true;
}

// The object itself is opened, not what it leads to if it is a link; `*information` says
// whether it was created.
HANDLE OpenBelow(RelativeName& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                 ULONG options, ULONG_PTR* information) {
    const auto create = SystemFunction<NtCreateFileCall>("ntdll.dll", "NtCreateFile");
    IO_STATUS_BLOCK status = {};
    HANDLE opened = nullptr;
    if (create == nullptr ||
        create(&opened, access | SYNCHRONIZE, &name.attributes, &status, nullptr,
               FILE_ATTRIBUTE_NORMAL, share, disposition,
               options | kFileOpenReparsePoint | kFileSynchronousIo, nullptr, 0) < 0) {
        return INVALID_HANDLE_VALUE;
    }
    *information = status.Information;
    return opened;
}

// Zero when the attributes cannot be had; the number of names too, where asked for.
DWORD AttributesOf(HANDLE object, unsigned long* names = nullptr) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileInformationByHandle(object, &information) == FALSE) {
        return 0;
    }
    if (names != nullptr) {
        *names = information.nNumberOfLinks;
    }
    return information.dwFileAttributes;
}

// What the attributes say of the object; none when they could not be had.
void Describe(DWORD attributes, PathObject& found) {
    found.opened = true;
    found.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    found.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A SID laid out as the system stores it, for up to six sub-authorities.
struct KnownSid {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD subAuthorities[6];
};

// SYSTEM, Administrators (the owner of what an elevated administrator makes) and
// TrustedInstaller.
constexpr KnownSid kSystemOwners[] = {
    {1, 1, {0, 0, 0, 0, 0, 5}, {18}},
    {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}},
    {1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}},
};

bool IsSystemOwner(const SID& owner) {
    for (const KnownSid& known : kSystemOwners) {
        if (owner.Revision == known.revision && owner.SubAuthorityCount == known.count &&
            std::memcmp(&owner.IdentifierAuthority, known.authority, sizeof known.authority) == 0 &&
            std::memcmp(owner.SubAuthority, known.subAuthorities, known.count * sizeof(DWORD)) ==
                0) {
            return true;
        }
    }
    return false;
}

bool IsRunningUser(PSID owner) {
    const auto equal = SystemFunction<decltype(EqualSid)>("advapi32.dll", "EqualSid");
    const auto openToken =
        SystemFunction<decltype(OpenProcessToken)>("advapi32.dll", "OpenProcessToken");
    const auto tokenInformation =
        SystemFunction<decltype(GetTokenInformation)>("advapi32.dll", "GetTokenInformation");
    HANDLE token = nullptr;
    if (equal == nullptr || openToken == nullptr || tokenInformation == nullptr ||
        openToken(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE) {
        return false;
    }
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer = {};
    DWORD size = 0;
    const bool read = tokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) != FALSE;
    CloseHandle(token);
    return read && equal(owner, buffer.user.User.Sid) != FALSE;
}

Owner OwnerOf(HANDLE object) {
    const auto securityInfo =
        SystemFunction<decltype(GetSecurityInfo)>("advapi32.dll", "GetSecurityInfo");
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (securityInfo == nullptr ||
        securityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                     nullptr, &descriptor) != ERROR_SUCCESS) {
        return Owner::Unknown;
    }
    const Owner found = owner == nullptr                                 ? Owner::Unknown
                        : IsSystemOwner(*static_cast<const SID*>(owner)) ? Owner::System
                        : IsRunningUser(owner)                           ? Owner::RunningUser
                                                                         : Owner::Other;
    LocalFree(descriptor);
    return found;
}

// Holding is reading the folder without sharing deletion: a handle that reads no data would not
// stop a rename [windows.md: held-log]. A folder that denies listing is examined all the same.
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

HANDLE ReOpen(HANDLE file, DWORD access) {
    const auto reopen = SystemFunction<decltype(ReOpenFile)>("kernel32.dll", "ReOpenFile");
    return reopen == nullptr ? INVALID_HANDLE_VALUE
                             : reopen(file, access, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
}

} // namespace

bool OpenLogRoot(const std::string& root) {
    ReleaseLogPath();
    bool listed = false;
    const HANDLE folder = OpenFolder(
        [&root](ACCESS_MASK access, DWORD share) {
            return CreateFileA(root.c_str(), access, share, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        },
        &listed);
    if (folder != INVALID_HANDLE_VALUE) {
        heldFolders.push_back(folder);
        walkedPath = root;
    }
    return folder != INVALID_HANDLE_VALUE;
}

// Anyone who may create folders beside this one could make it a link to a folder elsewhere, and
// the logs would be written there [windows.md: log-links, held-log].
PathObject OpenLogFolder(const std::string& name) {
    PathObject found;
    RelativeName relative;
    if (!SetRelativeName(name, relative)) {
        return found;
    }
    ULONG_PTR information = 0;
    const HANDLE folder = OpenFolder(
        [&relative, &information](ACCESS_MASK access, DWORD share) {
            return OpenBelow(relative, access, share, kFileOpen, kFileDirectoryFile, &information);
        },
        &found.listed);
    if (folder == INVALID_HANDLE_VALUE) {
        return found;
    }
    heldFolders.push_back(folder);
    // Wine shows a link by its name alone, and only to a query by the whole path
    // [windows.md: wine]. That query can only refuse more.
    walkedPath += (walkedPath.back() == '\\' ? "" : "\\") + name;
    const DWORD byName = GetFileAttributesA(walkedPath.c_str());
    const DWORD byHandle = AttributesOf(folder);
    Describe(byName == INVALID_FILE_ATTRIBUTES || byHandle == 0 ? 0 : byName | byHandle, found);
    found.owner = found.listed ? Owner::Unknown : OwnerOf(folder);
    return found;
}

// Writing is the one access held while Windows Installer runs: it opens its log sharing writing
// alone [windows.md: held-log].
PathObject OpenLogFile(const std::string& name) {
    PathObject found;
    RelativeName relative;
    ULONG_PTR information = 0;
    const HANDLE file =
        SetRelativeName(name, relative)
            ? OpenBelow(relative, GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, kFileOpenIf, kFileNonDirectoryFile,
                        &information)
            : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        return found;
    }
    heldLog = file;
    Describe(AttributesOf(file, &found.names), found);
    found.created = information == kFileCreated;
    found.onDisk = GetFileType(file) == FILE_TYPE_DISK;
    found.owner = found.created ? Owner::Unknown : OwnerOf(file);
    return found;
}

// The root is not examined: it is no link [windows.md: log-links].
bool LogFolderBecameLink() {
    for (std::size_t i = 1; i < heldFolders.size(); ++i) {
        const DWORD attributes = AttributesOf(heldFolders[i]);
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
// be had, the file is let go rather than shut the setup out.
void HoldLogForReading() {
    if (!logKept || holdReads) {
        return;
    }
    const HANDLE reader = ReOpen(heldLog, FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    CloseHandle(heldLog);
    heldLog = reader;
    holdReads = true;
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
