// The benchmark's floors, built like setup.exe, starting children as the wrapper does: directly by
// absolute path, in the program's own folder, with the system's default error mode.
//   floor.exe                                  does nothing: the cost of starting and ending;
//   floor.exe --nul PROGRAM LINE [PROGRAM LINE] starts each in turn with its output into NUL and
//                                              waits for it: the children alone;
//   floor.exe --pipe PROGRAM LINE              also reads the output through a pipe, in the
//                                              largest pieces, and discards it: the pipe alone.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kPieceSize = 1 << 20;

HANDLE Start(const char* program, const char* commandLine, HANDLE output) {
    char* line = _strdup(commandLine);
    char* folder = _strdup(program);
    char* separator = folder == nullptr ? nullptr : std::strrchr(folder, '\\');
    if (line == nullptr || separator == nullptr) {
        return nullptr;
    }
    *separator = '\0';
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    const BOOL ok = CreateProcessA(program, line, nullptr, nullptr, TRUE, CREATE_DEFAULT_ERROR_MODE,
                                   nullptr, folder, &startup, &started);
    std::free(line);
    std::free(folder);
    if (ok == FALSE) {
        return nullptr;
    }
    CloseHandle(started.hThread);
    return started.hProcess;
}

bool Finish(HANDLE process) {
    if (process == nullptr) {
        return false;
    }
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    return true;
}

int IntoNul(int count, char** pairs) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
    for (int i = 0; i + 1 < count; i += 2) {
        if (!Finish(Start(pairs[i], pairs[i + 1], nul))) {
            return 1;
        }
    }
    CloseHandle(nul);
    return 0;
}

int ThroughPipe(const char* program, const char* commandLine) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    char* piece = static_cast<char*>(std::malloc(kPieceSize));
    if (piece == nullptr || CreatePipe(&readEnd, &writeEnd, &inheritable, 0) == FALSE) {
        return 1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const HANDLE process = Start(program, commandLine, writeEnd);
    CloseHandle(writeEnd);
    DWORD got = 0;
    while (process != nullptr && ReadFile(readEnd, piece, kPieceSize, &got, nullptr) != FALSE) {
    }
    std::free(piece);
    CloseHandle(readEnd);
    return Finish(process) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--nul") == 0) {
        return IntoNul(argc - 2, argv + 2);
    }
    if (argc == 4 && std::strcmp(argv[1], "--pipe") == 0) {
        return ThroughPipe(argv[2], argv[3]);
    }
    return argc == 1 ? 0 : 2;
}
