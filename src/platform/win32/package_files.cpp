// The package's files as the judgement of who may change them sees them: each object opened
// below its folder's handle by its UTF-16 name, with its owner and access list; the names in a
// folder; where a link leads; the file system of a volume.
#include <winternl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/bounded.h"
#include "platform/platform.h"
#include "platform/win32/access.h"
#include "platform/win32/native_files.h"
#include "platform/win32/system_library.h"

namespace platform {

// The handle, and the whole path, which Wine needs to show a link [windows.md: wine].
struct PackageObject {
    HANDLE handle;
    std::string path;
};

namespace {

using win32::NativeOpen;
using win32::SystemFunction;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A path as the wide calls take it, terminated; false when it does not fit.
struct WidePath {
    wchar_t text[kPathBufferSize];
    int length = 0;
};

bool Widen(const std::string& text, UINT codePage, WidePath& out) {
    const int size = static_cast<int>(text.size());
    out.length = text.empty() || text.size() >= kPathBufferSize
                     ? 0
                     : MultiByteToWideChar(codePage, 0, text.data(), size, out.text,
                                           static_cast<int>(kPathBufferSize) - 1);
    out.text[out.length] = L'\0';
    return out.length > 0;
}

// A name no UTF-16 can be turned into whole (a lone surrogate) comes back empty.
std::string Narrowed(const wchar_t* text, int length, UINT codePage, DWORD flags) {
    const int size = length == 0 ? 0
                                 : WideCharToMultiByte(codePage, flags, text, length, nullptr, 0,
                                                       nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (size > 0) {
        WideCharToMultiByte(codePage, flags, text, length, &narrow[0], size, nullptr, nullptr);
    }
    return narrow;
}

// Between the process's code page and UTF-8; a path too long to convert comes back empty.
std::string Converted(const std::string& path, UINT from, UINT to) {
    WidePath wide;
    return Widen(path, from, wide) ? Narrowed(wide.text, wide.length, to, 0) : std::string();
}

// Wine shows a link only to a query by its whole path [windows.md: wine].
DWORD AttributesByName(const std::string& path) {
    WidePath wide;
    return Widen(path, CP_UTF8, wide) ? GetFileAttributesW(wide.text) : INVALID_FILE_ATTRIBUTES;
}

// FILE_DIRECTORY_INFORMATION, as the native listing lays it out.
constexpr ULONG kFileDirectoryInformation = 1;
constexpr std::size_t kNameLengthAt = 60;
constexpr std::size_t kNameAt = 64;
constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006UL);

using NtQueryDirectoryFileCall = LONG NTAPI(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*,
                                            ULONG, ULONG, BOOLEAN, UNICODE_STRING*, BOOLEAN);

// One buffer's worth of entries; false when a name cannot be read whole.
bool TakeNames(const BYTE* entries, std::vector<std::string>& names) {
    for (ULONG next = 1; next != 0; entries += next) {
        ULONG length = 0;
        std::memcpy(&next, entries, sizeof next);
        std::memcpy(&length, entries + kNameLengthAt, sizeof length);
        const auto* name = reinterpret_cast<const wchar_t*>(entries + kNameAt);
        const int characters = static_cast<int>(length / sizeof(wchar_t));
        const std::string narrow = Narrowed(name, characters, CP_UTF8, WC_ERR_INVALID_CHARS);
        if (narrow.empty()) {
            return false;
        }
        if (narrow != "." && narrow != "..") {
            names.push_back(narrow);
        }
    }
    return true;
}

bool ListOpened(HANDLE listing, std::vector<std::string>& names) {
    const auto query =
        SystemFunction<NtQueryDirectoryFileCall>("ntdll.dll", "NtQueryDirectoryFile");
    alignas(LARGE_INTEGER) BYTE buffer[16384];
    for (BOOLEAN restart = TRUE; query != nullptr; restart = FALSE) {
        IO_STATUS_BLOCK io = {};
        const LONG status = query(listing, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                  kFileDirectoryInformation, FALSE, nullptr, restart);
        if (status == kNoMoreFiles) {
            return true;
        }
        if (status < 0 || io.Information == 0 || !TakeNames(buffer, names)) {
            return false;
        }
    }
    return false;
}

} // namespace

// Opened for its owner and access list alone; without waiting for anyone's opportunistic lock
// [windows.md: oplocks].
PackageObject* OpenPackageObject(PackageObject* folder, const std::string& name, bool followLink,
                                 PathObject& found) {
    const NativeOpen how{READ_CONTROL | FILE_READ_ATTRIBUTES,           kShareAll, win32::kFileOpen,
                         followLink ? 0 : win32::kFileOpenReparsePoint, nullptr,   CP_UTF8};
    const HANDLE object =
        name.empty() ? INVALID_HANDLE_VALUE
                     : win32::OpenNative(folder == nullptr ? nullptr : folder->handle, name, how);
    if (object == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const std::string whole = folder == nullptr ? name : folder->path + "\\" + name;
    if (win32::DescribeOpened(object, followLink ? 0 : AttributesByName(whole), found) == 0) {
        CloseHandle(object);
        found = PathObject{};
        return nullptr;
    }
    found.security = win32::ReadSecurity(object, true);
    return new PackageObject{object, whole};
}

void ClosePackageObject(PackageObject* object) {
    if (object != nullptr) {
        CloseHandle(object->handle);
        delete object;
    }
}

// Listed through a handle of its own, opened below the one that was judged.
bool ListPackageFolder(PackageObject* folder, std::vector<std::string>& names) {
    names.clear();
    const HANDLE listing = win32::OpenNative(
        folder->handle, "",
        NativeOpen{FILE_LIST_DIRECTORY, kShareAll, win32::kFileOpen, win32::kFileDirectoryFile});
    if (listing == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool listed = ListOpened(listing, names);
    CloseHandle(listing);
    return listed;
}

// "\\?\C:\x" or "\\?\UNC\server\share\x" [windows.md: package-trust].
bool ReadFinalPath(PackageObject* object, std::string& path) {
    using FinalPathCall = DWORD WINAPI(HANDLE, wchar_t*, DWORD, DWORD);
    const auto finalPath =
        SystemFunction<FinalPathCall>("kernel32.dll", "GetFinalPathNameByHandleW");
    WidePath wide;
    const DWORD length =
        finalPath == nullptr ? 0 : finalPath(object->handle, wide.text, kPathBufferSize, 0);
    if (length < 4 || length >= kPathBufferSize) {
        return false;
    }
    const bool share = length > 8 && std::memcmp(wide.text, L"\\\\?\\UNC\\", 8 * 2) == 0;
    const int skipped = share ? 6 : 4; // the share keeps "\\" of "\\?\UNC\"
    if (share) {
        wide.text[6] = L'\\';
    }
    path = Narrowed(wide.text + skipped, static_cast<int>(length) - skipped, CP_UTF8,
                    WC_ERR_INVALID_CHARS);
    return std::memcmp(wide.text, L"\\\\?\\", 4 * 2) == 0 && !path.empty();
}

std::string Utf8FromCodePage(const std::string& path) {
    return Converted(path, CP_ACP, CP_UTF8);
}

std::string CodePageFromUtf8(const std::string& path) {
    return Converted(path, CP_UTF8, CP_ACP);
}

// [windows.md: package-trust]
bool QueryFileSystem(const std::string& root, std::string& name) {
    WidePath wide;
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD flags = 0;
    if (!Widen(root, CP_UTF8, wide) ||
        GetVolumeInformationW(wide.text, nullptr, 0, nullptr, nullptr, &flags, fileSystem,
                              MAX_PATH + 1) == FALSE) {
        return false;
    }
    int length = 0;
    while (fileSystem[length] != L'\0') {
        ++length;
    }
    name = Narrowed(fileSystem, length, CP_UTF8, 0);
    return true;
}

} // namespace platform
