// The package's files as the judgement of who may change them sees them: each object with its
// owner and access list, the names in a folder, and whether the volume keeps access lists at all.
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/access.h"
#include "platform/win32/native_files.h"
#include "platform/win32/system_library.h"

namespace platform {

using win32::NativeOpen;

// Opened for its owner and access list alone, sharing everything, so that nobody's use of the
// package is disturbed; without waiting for anyone's opportunistic lock [windows.md: oplocks].
PathObject ExamineObject(const std::string& path, bool followLink) {
    PathObject found;
    const NativeOpen how{READ_CONTROL | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, win32::kFileOpen,
                         followLink ? 0 : win32::kFileOpenReparsePoint};
    const HANDLE object = win32::OpenNative(nullptr, path, how);
    if (object == INVALID_HANDLE_VALUE) {
        return found;
    }
    if (win32::DescribeOpened(object, followLink ? nullptr : path.c_str(), found) != 0) {
        found.security = win32::ReadSecurity(object, true);
    }
    CloseHandle(object);
    return found;
}

bool ListFolder(const std::string& path, std::vector<std::string>& names) {
    WIN32_FIND_DATAA entry = {};
    const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    names.clear();
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        const char* name = entry.cFileName;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
            names.emplace_back(name);
        }
    } while (FindNextFileA(search, &entry) != FALSE);
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

// [windows.md: package-trust]
bool VolumeKeepsAccessLists(const std::string& root) {
    DWORD flags = 0;
    return GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) !=
               FALSE &&
           (flags & FILE_PERSISTENT_ACLS) != 0;
}

} // namespace platform
