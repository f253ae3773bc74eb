/* Stands in for the system's device-configuration DLL, whose functions fail under Wine. It appends
 * "rescan|<call>|<result>" to the file named by STANDIN_RECORD for each call and returns the status
 * given by STANDIN_LOCATE_RESULT or STANDIN_REENUMERATE_RESULT (0, success, when unset). */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

typedef DWORD CONFIGRET;

static CONFIGRET answer(const char* call, const char* variable) {
    char value[32];
    DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    CONFIGRET result = (length == 0 || length >= sizeof value) ? 0 : strtoul(value, NULL, 10);
    char path[MAX_PATH];
    length = GetEnvironmentVariableA("STANDIN_RECORD", path, sizeof path);
    if (length != 0 && length < sizeof path) {
        FILE* file = fopen(path, "ab");
        if (file != NULL) {
            fprintf(file, "rescan|%s|%lu\n", call, (unsigned long)result);
            fclose(file);
        }
    }
    return result;
}

__declspec(dllexport) CONFIGRET WINAPI
    CM_Locate_DevNodeA(DWORD* node, const char* id, ULONG flags) {
    *node = 1;
    return answer(id == NULL && flags == 0 ? "locate root" : "locate other",
                  "STANDIN_LOCATE_RESULT");
}

__declspec(dllexport) CONFIGRET WINAPI CM_Reenumerate_DevNode(DWORD node, ULONG flags) {
    return answer(node == 1 && flags == 0 ? "reenumerate root" : "reenumerate other",
                  "STANDIN_REENUMERATE_RESULT");
}
