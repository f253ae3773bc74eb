// Where the wrapper's libraries come from, and how the process is prepared before anything else.
#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform {

namespace win32 {

// Every system library beyond kernel32 is loaded when first needed: most runs never show the
// question or re-enumerate, and a usage run needs none of them. Under Wine, loading user32 at
// start-up alone costs half as much again as the rest of a short run.
//
// Always by its full path in the system folder: the wrapper runs elevated from folders others can
// write to, and a bare name is searched for in the program's own folder first. What a library
// imports is then looked for beside it [windows.md: dll-full-path, wow64-folder].
HMODULE LoadSystemLibrary(const char* library) {
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::string path(folder, length);
    path += '\\';
    path += library;
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Windows' own code loads these by name, from the program's folder first where the search is not
// restricted: loaded by full path beforehand, they are found already loaded. Not every Windows has
// each [windows.md: loaded-by-name].
void LoadEachSystemLibrary(std::initializer_list<const char*> libraries) {
    for (const char* library : libraries) {
        LoadSystemLibrary(library);
    }
}

// kernel32 and ntdll are in every process already, and are never loaded again
// [windows.md: known-dlls]. The libraries system code loads by name come first, before any other
// library can load them.
FARPROC FindSystemFunction(const char* library, const char* name) {
    if (std::strcmp(library, "kernel32.dll") == 0 || std::strcmp(library, "ntdll.dll") == 0) {
        return GetProcAddress(GetModuleHandleA(library), name);
    }
    static bool systemCodesOwnLoaded = false;
    if (!systemCodesOwnLoaded) {
        systemCodesOwnLoaded = true;
        LoadEachSystemLibrary({"cryptbase.dll", "version.dll", "ntmarta.dll"});
    }
    const HMODULE module = LoadSystemLibrary(library);
    return module == nullptr ? nullptr : GetProcAddress(module, name);
}

} // namespace win32

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, which older SDK headers declare only for later Windows.
constexpr DWORD kSearchSystemFolderOnly = 0x00000800;

// Only the system folder is searched where the system allows it (Windows 7 with KB2533623 and
// later); elsewhere at least the current folder is taken out of the search
// [windows.md: dll-search].
void RestrictLibrarySearch() {
    using SetDefaultDirectories = BOOL WINAPI(DWORD);
    const auto restrictSearch =
        win32::SystemFunction<SetDefaultDirectories>("kernel32.dll", "SetDefaultDllDirectories");
    if (restrictSearch == nullptr || restrictSearch(kSearchSystemFolderOnly) == FALSE) {
        SetDllDirectoryA("");
    }
}

} // namespace

// The flags are added to those the wrapper inherited; GetErrorMode is not in XP
// [windows.md: error-mode].
void PrepareProcess() {
    const UINT inherited = SetErrorMode(0);
    SetErrorMode(inherited | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RestrictLibrarySearch();
}

} // namespace platform
