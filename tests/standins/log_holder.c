/* Holds a file open for reading, as a log viewer would, sharing read and write, for the given
 * number of milliseconds; with "lock", locks the whole of it meanwhile, as anyone who may read it
 * can. Usage: log_holder.exe <path> <milliseconds> [lock] */
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    OVERLAPPED whole = {0};
    if (argc == 4 && !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        return 1;
    }
    Sleep(strtoul(argv[2], NULL, 10));
    CloseHandle(file);
    return 0;
}
