// Opens through the native call, which alone opens a name below a held folder, gives a new file
// its access list in the same step, and declines to wait for another process's opportunistic
// lock to be given up.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform::win32 {

// The native call's values, which not every SDK's headers give.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileOpenIf = 3;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenReparsePoint = 0x00200000;

struct NativeOpen {
    ACCESS_MASK access = 0;
    ULONG share = 0;
    ULONG disposition = kFileOpen;
    ULONG options = 0;
    // The access list of a file this open creates; none: the one it inherits.
    SECURITY_DESCRIPTOR* descriptor = nullptr;
    // How the name is spelled: the process's code page, or CP_UTF8.
    UINT codePage = CP_ACP;
};
constexpr ULONG kFileDirectoryFile = 0x00000001;

// `name` below the open folder `folder`; `root` itself, opened anew, when `name` is empty; or
// the absolute `name` when `folder` is null. INVALID_HANDLE_VALUE when it cannot be opened, and
// why in `*status`; `*created` says whether the open made the file.
HANDLE OpenNative(HANDLE folder, const std::string& name, const NativeOpen& how,
                  bool* created = nullptr, long* status = nullptr);

// Another open's sharing refused this one.
constexpr long kSharingViolation = static_cast<long>(0xC0000043UL);

// The attributes of the open `object`, zero when they cannot be had; the number of names too,
// where asked for.
DWORD AttributesOf(HANDLE object, unsigned long* names = nullptr);

// What the open `object` is: a folder, a link. The attributes `byName` that a query by its whole
// path gave (0 when none was made) are added, since Wine shows a link only to such a query
// [windows.md: wine]; they can only refuse more. Nothing is known when either cannot be had.
DWORD DescribeOpened(HANDLE object, DWORD byName, PathObject& found,
                     unsigned long* names = nullptr);

} // namespace platform::win32
