// What the files of the Windows side share: the Windows headers, and system libraries and their
// functions, only ever from the system folder. Declarations up to Windows 7; what XP and Vista lack
// is looked up at run time through these, so that the program still starts there to refuse them
// [windows.md: xp-imports].
// Only this folder includes <windows.h>.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <aclapi.h>
#include <cfgmgr32.h>
#include <objbase.h>
#include <shellapi.h>
#include <winnetwk.h>

#include <initializer_list>

namespace platform::win32 {

HMODULE LoadSystemLibrary(const char* library);
void LoadEachSystemLibrary(std::initializer_list<const char*> libraries);
FARPROC FindSystemFunction(const char* library, const char* name);

// Through a generic function pointer: FARPROC's own signature matches none of them.
template <typename Function> Function* SystemFunction(const char* library, const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(FindSystemFunction(library, name)));
}

} // namespace platform::win32
