// Opens through NtCreateFile, never waiting for an opportunistic lock's break.
#include "platform/win32/native_files.h"

#include <winternl.h>

#include <string>

#include "platform/bounded.h"

namespace platform::win32 {

namespace {

constexpr ULONG kFileSynchronousIo = 0x00000020;
constexpr ULONG kFileCompleteIfOplocked = 0x00000100;
constexpr ULONG_PTR kFileCreated = 2;
constexpr ULONG kCaseInsensitive = 0x00000040;

using NtCreateFileCall = LONG NTAPI(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                    LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);

// A name as the native call takes it: relative to a folder, or an absolute path in the object
// manager's form ("\??\C:\pkg", "\??\UNC\server\share\pkg"). Not to be copied: it points into
// itself.
struct NativeName {
    wchar_t text[kPathBufferSize + 8];
    UNICODE_STRING string;
    OBJECT_ATTRIBUTES attributes;
};

// An absolute path gets the object manager's prefix; an empty name below a handle is that handle's
// own file.
bool SetName(HANDLE folder, const std::string& name, UINT codePage, NativeName& out) {
    const char* text = name.c_str(); // read up to its terminator
    const bool share = folder == nullptr && text[0] == '\\' && text[1] == '\\';
    const char* prefix = folder != nullptr ? "" : share ? "\\??\\UNC" : "\\??\\";
    int length = 0;
    for (; prefix[length] != '\0'; ++length) {
        out.text[length] = static_cast<wchar_t>(prefix[length]);
    }
    const std::size_t skipped = share ? 1 : 0;
    const int widened =
        name.empty() || name.size() >= kPathBufferSize
            ? 0
            : MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text + skipped,
                                  static_cast<int>(name.size() - skipped), out.text + length,
                                  static_cast<int>(kPathBufferSize));
    if (widened <= 0 && !(folder != nullptr && name.empty())) {
        return false;
    }
    length += widened;
    out.string.Buffer = out.text;
    out.string.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    out.string.MaximumLength = out.string.Length;
    out.attributes = OBJECT_ATTRIBUTES{};
    out.attributes.Length = sizeof out.attributes;
    out.attributes.RootDirectory = folder;
    out.attributes.ObjectName = &out.string;
    out.attributes.Attributes = kCaseInsensitive;
    return true;
}

} // namespace

// Where someone holds an opportunistic lock, the open completes at once instead of waiting for
// them to give it up, which they may never do [windows.md: oplocks].
HANDLE OpenNative(HANDLE folder, const std::string& name, const NativeOpen& how, bool* created,
                  long* status) {
    const auto create = SystemFunction<NtCreateFileCall>("ntdll.dll", "NtCreateFile");
    NativeName native;
    long result = -1;
    if (status == nullptr) {
        status = &result;
    }
    if (create == nullptr || !SetName(folder, name, how.codePage, native)) {
        return INVALID_HANDLE_VALUE;
    }
    native.attributes.SecurityDescriptor = how.descriptor;
    IO_STATUS_BLOCK io = {};
    HANDLE opened = nullptr;
    *status = create(&opened, how.access | SYNCHRONIZE, &native.attributes, &io, nullptr,
                     FILE_ATTRIBUTE_NORMAL, how.share, how.disposition,
                     how.options | kFileSynchronousIo | kFileCompleteIfOplocked, nullptr, 0);
    if (*status < 0) {
        return INVALID_HANDLE_VALUE;
    }
    if (created != nullptr) {
        *created = io.Information == kFileCreated;
    }
    return opened;
}

DWORD AttributesOf(HANDLE object, unsigned long* names) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileInformationByHandle(object, &information) == FALSE) {
        return 0;
    }
    if (names != nullptr) {
        *names = information.nNumberOfLinks;
    }
    return information.dwFileAttributes;
}

DWORD DescribeOpened(HANDLE object, DWORD byName, PathObject& found, unsigned long* names) {
    const DWORD byHandle = AttributesOf(object, names);
    if (byName == INVALID_FILE_ATTRIBUTES || byHandle == 0) {
        return 0;
    }
    const DWORD attributes = byName | byHandle;
    found.opened = true;
    found.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    found.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return attributes;
}

} // namespace platform::win32
