// The log file: every folder on its way and the file itself examined and held open to the end of
// the run, and the wrapper's lines appended through that handle.
#include <cstring>
#include <string>

#include "platform/characters.h"
#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform {

using win32::SystemFunction;

namespace {

HANDLE heldLog = INVALID_HANDLE_VALUE;

// A SID laid out as the system stores it, for up to six sub-authorities.
struct KnownSid {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD subAuthorities[6];
};

// SYSTEM, Administrators and TrustedInstaller, which own Windows' own compatibility junctions
// ("C:\Documents and Settings"); no user can give a link of theirs such an owner
// [windows.md: log-links].
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

bool OwnedBySystem(HANDLE object) {
    const auto securityInfo =
        SystemFunction<decltype(GetSecurityInfo)>("advapi32.dll", "GetSecurityInfo");
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (securityInfo == nullptr ||
        securityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                     nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool system = owner != nullptr && IsSystemOwner(*static_cast<const SID*>(owner));
    LocalFree(descriptor);
    return system;
}

// Zero when the attributes cannot be had; the number of names too, where asked for.
DWORD AttributesOf(HANDLE object, DWORD* links = nullptr) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileInformationByHandle(object, &information) == FALSE) {
        return 0;
    }
    if (links != nullptr) {
        *links = information.nNumberOfLinks;
    }
    return information.dwFileAttributes;
}

constexpr DWORD kExamineItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Holding is reading the folder without sharing deletion: a handle that reads no data would not
// stop a rename [windows.md: held-log]. A folder that denies listing is examined all the same.
HANDLE OpenFolder(const std::string& path, bool* held) {
    HANDLE folder = CreateFileA(
        path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, kExamineItself, nullptr);
    *held = folder != INVALID_HANDLE_VALUE;
    if (!*held) {
        folder = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, kExamineItself, nullptr);
    }
    return folder;
}

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

// Anyone who may create folders beside this one could make it a link to a folder elsewhere, and
// the logs would be written there [windows.md: log-links, held-log].
bool HoldFolderOnLogPath(const std::string& path) {
    bool held = false;
    const HANDLE folder = OpenFolder(path, &held);
    if (folder == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Wine shows a link by its name alone; once it is open, the name is the one examined
    // [windows.md: wine].
    const DWORD byName = GetFileAttributesA(path.c_str());
    const DWORD byHandle = AttributesOf(folder);
    const DWORD attributes =
        byName == INVALID_FILE_ATTRIBUTES || byHandle == 0 ? 0 : byName | byHandle;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool accepted =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && ((held && !link) || OwnedBySystem(folder));
    if (!accepted) {
        CloseHandle(folder);
    }
    return accepted;
}

// The link itself is opened, not what it leads to. Writing is the one access held: Windows
// Installer opens its log sharing writing alone [windows.md: log-links, held-log].
bool HoldLogFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD links = 0;
    const DWORD attributes = AttributesOf(file, &links);
    if (attributes == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || links != 1) {
        CloseHandle(file);
        return false;
    }
    heldLog = file;
    return true;
}

bool AppendToLog(const std::string& line) {
    if (heldLog == INVALID_HANDLE_VALUE) {
        return false;
    }
    OVERLAPPED range;
    // Without the lock (a file system that has none) the line is still appended.
    const bool locked = LockForAppend(heldLog, range);
    const bool ok = WriteAtEnd(heldLog, WithCrLf(line));
    if (locked) {
        UnlockFileEx(heldLog, 0, 1, 0, &range);
    }
    return ok;
}

} // namespace platform
