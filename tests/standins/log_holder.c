/* Holds a file open for reading, as a log viewer would, sharing read and write, for the given
 * number of milliseconds; with "lock", locks the whole of it meanwhile, as anyone who may read it
 * can; with "noread", shares writing and deletion but not reading, as anyone who may read it can.
 * Usage: log_holder.exe <path> <milliseconds> [lock|noread] */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        return 2;
    }
    const int noread = argc == 4 && strcmp(argv[3], "noread") == 0;
    const DWORD share =
        noread ? FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file =
        CreateFileA(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    OVERLAPPED whole = {0};
    if (argc == 4 && !noread &&
        !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        return 1;
    }
    Sleep(strtoul(argv[2], NULL, 10));
    CloseHandle(file);
    return 0;
}
