/* Planted beside the wrapper under the names of system libraries: it must never be loaded. When
 * it is, it appends "canary|<its own path>|<the loading program>" to the file named by
 * STANDIN_RECORD. */
#include <windows.h>

#include <stdio.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    char path[MAX_PATH];
    char library[MAX_PATH];
    char program[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("STANDIN_RECORD", path, sizeof path);
    GetModuleFileNameA(self, library, sizeof library);
    GetModuleFileNameA(NULL, program, sizeof program);
    if (length != 0 && length < sizeof path) {
        FILE* file = fopen(path, "ab");
        if (file != NULL) {
            fprintf(file, "canary|%s|%s\n", library, program);
            fclose(file);
        }
    }
    return TRUE;
}
