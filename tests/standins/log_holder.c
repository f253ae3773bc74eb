/* Holds a file open for reading, as a log viewer would, sharing read and write, for the given
 * number of milliseconds. Usage: log_holder.exe <path> <milliseconds> */
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    Sleep(strtoul(argv[2], NULL, 10));
    CloseHandle(file);
    return 0;
}
