// The children: started directly or through the shell, their output read, their end waited for.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform {

using win32::LoadEachSystemLibrary;
using win32::SystemFunction;

struct ChildProcess {
    HANDLE process;
    HANDLE output;
};

namespace {

// ERROR_ELEVATION_REQUIRED, which MinGW's headers lack [windows.md: elevation-740].
constexpr DWORD kElevationRequired = 740;

// The child needs its own inheritable copies: a parent that redirected the wrapper's standard
// handles need not have made them inheritable. No handle at all is passed on as none.
HANDLE InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                        DUPLICATE_SAME_ACCESS) == FALSE) {
        return nullptr;
    }
    return copy;
}

void CloseIfOpen(HANDLE handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
    }
}

// Windows 7 refuses its console pseudo-handles in a handle list; the child reaches the console
// through its own attachment to it. Only Windows 7 and earlier have them: Wine's console handles
// are ordinary, so no test here reaches this filter [windows.md: console-pseudo-handles].
bool IsConsolePseudoHandle(HANDLE handle) {
    return (reinterpret_cast<std::uintptr_t>(handle) & 3) == 3 &&
           GetFileType(handle) == FILE_TYPE_CHAR;
}

// Limits what the child inherits to the handles it is given (Vista and later): otherwise every
// inheritable handle the wrapper itself inherited would be passed on [windows.md: handle-list].
struct InheritanceList {
    std::vector<unsigned char> storage;
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;
    HANDLE handles[3] = {};
    std::size_t count = 0;
};

bool RestrictInheritance(InheritanceList& list, const STARTUPINFOA& startup) {
    for (const HANDLE handle : {startup.hStdOutput, startup.hStdInput, startup.hStdError}) {
        if (handle != nullptr && !IsConsolePseudoHandle(handle)) {
            list.handles[list.count++] = handle;
        }
    }
    const auto initialize = SystemFunction<decltype(InitializeProcThreadAttributeList)>(
        "kernel32.dll", "InitializeProcThreadAttributeList");
    const auto update = SystemFunction<decltype(UpdateProcThreadAttribute)>(
        "kernel32.dll", "UpdateProcThreadAttribute");
    SIZE_T size = 0;
    if (initialize == nullptr || update == nullptr) {
        return false;
    }
    initialize(nullptr, 1, 0, &size);
    list.storage.resize(size);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.storage.data());
    if (initialize(attributes, 1, 0, &size) == FALSE) {
        return false;
    }
    list.attributes = attributes;
    return update(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list.handles,
                  list.count * sizeof(HANDLE), nullptr, nullptr) != FALSE;
}

void ReleaseInheritanceList(InheritanceList& list) {
    const auto release = SystemFunction<decltype(DeleteProcThreadAttributeList)>(
        "kernel32.dll", "DeleteProcThreadAttributeList");
    if (list.attributes != nullptr && release != nullptr) {
        release(list.attributes);
    }
}

// The program is named by its absolute path, so nothing is searched for; the command line is
// passed as it is, and no interpreter sees it. The child gets the system's default error mode,
// not the wrapper's, and the wrapper's current folder, which may be a share
// [windows.md: error-mode, unc-folder].
DWORD CreateChild(const std::string& program, const std::string& commandLine, STARTUPINFOA& startup,
                  PROCESS_INFORMATION& started) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOEXA extended = {};
    extended.StartupInfo = startup;
    extended.StartupInfo.cb = sizeof extended;
    InheritanceList list;
    const bool restricted = RestrictInheritance(list, startup);
    extended.lpAttributeList = list.attributes;
    bool ok = restricted && CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                           CREATE_DEFAULT_ERROR_MODE | EXTENDED_STARTUPINFO_PRESENT,
                                           nullptr, nullptr, &extended.StartupInfo, &started) != 0;
    ReleaseInheritanceList(list);
    // Where the list is refused, the setup must still run: the wider inheritance is the lesser
    // harm.
    if (!ok) {
        ok = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                            CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &started) != 0;
    }
    return ok ? ERROR_SUCCESS : GetLastError();
}

} // namespace

ChildProcess* StartChild(const std::string& program, const std::string& commandLine,
                         StartFailure* failure) {
    *failure = StartFailure::Other;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (CreatePipe(&readEnd, &writeEnd, &inheritable, 0) == FALSE) {
        return nullptr;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableCopy(GetStdHandle(STD_INPUT_HANDLE));
    startup.hStdOutput = writeEnd;
    startup.hStdError = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    PROCESS_INFORMATION started = {};
    const DWORD error = CreateChild(program, commandLine, startup, started);
    CloseIfOpen(startup.hStdInput);
    CloseIfOpen(startup.hStdError);
    // Only the child holds the write end now, so the output ends when the child closes it.
    CloseHandle(writeEnd);
    if (error != ERROR_SUCCESS) {
        CloseHandle(readEnd);
        *failure = error == kElevationRequired ? StartFailure::NeedsElevation : StartFailure::Other;
        return nullptr;
    }
    CloseHandle(started.hThread);
    *failure = StartFailure::None;
    return new ChildProcess{started.hProcess, readEnd};
}

namespace {

// The shell and COM load these by name; without KB2533623 Windows 7 still searches the program's
// folder first, and a planted one would decide what the consent prompt shows
// [windows.md: loaded-by-name].
void LoadShellsOwnLibraries() {
    LoadEachSystemLibrary({"uxtheme.dll", "dwmapi.dll", "userenv.dll", "profapi.dll", "apphelp.dll",
                           "propsys.dll", "oleacc.dll", "clbcatq.dll", "comres.dll"});
}

// The shell may hand the start to extensions that need COM on this thread. False when COM was not
// initialised here, so that it is not released either.
bool InitializeCom() {
    const auto initialize = SystemFunction<decltype(CoInitializeEx)>("ole32.dll", "CoInitializeEx");
    return initialize != nullptr &&
           SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

void ReleaseCom(bool initialized) {
    if (!initialized) {
        return;
    }
    const auto uninitialize =
        SystemFunction<decltype(CoUninitialize)>("ole32.dll", "CoUninitialize");
    if (uninitialize != nullptr) {
        uninitialize();
    }
}

} // namespace

// No verb: the program's own manifest decides, and the consent prompt is shown where it asks for
// elevation, owned by the console window so that it comes to the front. No error box of the
// shell's, nor the zone check's security warning for a share reached by address, which nobody
// would see: a failure ends the run with its exit code. The folder is always given: an elevated
// process would not inherit one on a mapped drive. COM is released before the wait
// [windows.md: elevation-740, prompt-owner, mapped-drives, loaded-by-name, sta-messages].
ChildProcess* StartThroughShell(const std::string& program, const std::string& parameters,
                                const std::string& folder) {
    LoadShellsOwnLibraries();
    const auto execute =
        SystemFunction<decltype(ShellExecuteExA)>("shell32.dll", "ShellExecuteExA");
    if (execute == nullptr) {
        return nullptr;
    }
    const bool initialized = InitializeCom();
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask =
        SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
    info.hwnd = GetConsoleWindow();
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = execute(&info) != FALSE && info.hProcess != nullptr;
    ReleaseCom(initialized);
    return started ? new ChildProcess{info.hProcess, nullptr} : nullptr;
}

// A successful read of nothing is not the end: only a broken pipe is.
bool ReadChildOutput(ChildProcess* child, char* buffer, std::size_t capacity) {
    DWORD got = 0;
    return child->output != nullptr &&
           ReadFile(child->output, buffer, static_cast<DWORD>(capacity), &got, nullptr) != FALSE;
}

namespace {

// A thread that used COM for the shell owns a hidden window: a program that broadcasts a message
// with SendMessage waits until this thread has dispatched it [windows.md: sta-messages].
void WaitDispatchingMessages(HANDLE process) {
    const auto wait = SystemFunction<decltype(MsgWaitForMultipleObjects)>(
        "user32.dll", "MsgWaitForMultipleObjects");
    const auto peek = SystemFunction<decltype(PeekMessageA)>("user32.dll", "PeekMessageA");
    const auto dispatch =
        SystemFunction<decltype(DispatchMessageA)>("user32.dll", "DispatchMessageA");
    if (wait == nullptr || peek == nullptr || dispatch == nullptr) {
        WaitForSingleObject(process, INFINITE);
        return;
    }
    // Messages that came before the wait would not wake it: the queue is emptied first.
    DWORD woken = WAIT_FAILED;
    do {
        MSG message;
        while (peek(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            dispatch(&message);
        }
    } while ((woken = wait(1, &process, FALSE, INFINITE, QS_ALLINPUT)) == WAIT_OBJECT_0 + 1);
    // A wait that failed still waits, without the messages.
    if (woken != WAIT_OBJECT_0) {
        WaitForSingleObject(process, INFINITE);
    }
}

} // namespace

unsigned long WaitForChild(ChildProcess* child, bool dispatchMessages) {
    CloseIfOpen(child->output);
    if (dispatchMessages) {
        WaitDispatchingMessages(child->process);
    } else {
        WaitForSingleObject(child->process, INFINITE);
    }
    DWORD status = kUnknownExitStatus;
    if (GetExitCodeProcess(child->process, &status) == FALSE) {
        status = kUnknownExitStatus;
    }
    CloseHandle(child->process);
    delete child;
    return status;
}

} // namespace platform
