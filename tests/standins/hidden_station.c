/* Starts a program on a window station of its own, which no user sees, as a service's would be,
 * with this program's standard handles, and ends with its exit code.
 * Usage: hidden_station.exe "<command line>" */
#include <windows.h>

#include <string.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 99;
    }
    HWINSTA station = CreateWindowStationA("hidden", 0, WINSTA_ALL_ACCESS, NULL);
    if (station == NULL || !SetProcessWindowStation(station) ||
        CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL) == NULL) {
        return 100;
    }
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.lpDesktop = "hidden\\Default";
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started;
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &started)) {
        return 101;
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 102;
    GetExitCodeProcess(started.hProcess, &code);
    return (int)code;
}
