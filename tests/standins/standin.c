/* Stands in for the programs the wrapper starts (msiexec.exe, the package's setup.exe) and for
 * programs that must never start. Copied under each name; it appends to the file named by
 * STANDIN_RECORD when it starts "image|<its own path>", "errormode|<name>|<its error mode>" and
 * "start|<name>|<current folder>|<command line>", and one line when its output is written,
 * "end|<name>|<bytes written to standard output>". Set by name: STANDIN_<NAME>_STDIN=1 reads a
 * line from standard input and records "stdin|<name>|<line>";
 * STANDIN_<NAME>_OUTPUT_MB writes that many megabytes of lines, STANDIN_<NAME>_CTRLZ=1 writes a
 * Ctrl-Z byte before them, STANDIN_<NAME>_BLOCK_KB writes them in binary mode through a buffer of
 * that size (otherwise in text mode, as the C runtime chooses), STANDIN_<NAME>_EXIT sets the
 * status. STANDIN_<NAME>_SWAP_LOG=<another file> does what a user who may create files in the log's
 * folder could, the moment before this program writes the log of its command line: deletes the log
 * (or else renames it away) and makes its name a second name of that other file; then it writes its
 * log anew and records "swap|<name>|<deleted>|<linked>|<wrote>"; before that it tries to rename the
 * log's folder away (and back), recording "rename|<name>|<moved>". STANDIN_<NAME>_WRITE_LOG=<share
 * mode> writes the log anew as setup programs do, for writing, sharing only what is given (1:
 * reading, as most setups; 2: writing, as Windows Installer), and records
 * "log|<name>|<wrote>|<error>"; with STANDIN_<NAME>_LOG_FAILED_EXIT it ends at once with that
 * status when its log could not be written, as Windows Installer does with 1622.
 * STANDIN_<NAME>_PROBE_HANDLE=<handle value> records "handle|<name>|<1 if that handle is open in
 * this process>", for a handle its starter's starter made inheritable. Where a package
 * lumenor.msi lies beside it, it installs that package through the system's msiexec.exe first
 * (quietly when its command line holds "/s /v/quiet", else with a basic progress bar), records
 * "install|<Windows Installer's code>" and ends with that code. */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char name[MAX_PATH];
static char module[MAX_PATH];

static void record(const char* line) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("STANDIN_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return;
    }
    FILE* file = fopen(path, "ab");
    if (file != NULL) {
        fputs(line, file);
        fputs("\n", file);
        fclose(file);
    }
}

static long setting(const char* what, long fallback) {
    char variable[MAX_PATH + 32];
    char value[64];
    snprintf(variable, sizeof variable, "STANDIN_%s_%s", name, what);
    DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    return length == 0 || length >= sizeof value ? fallback : strtol(value, NULL, 10);
}

static int text_setting(const char* what, char* value, DWORD size) {
    char variable[MAX_PATH + 32];
    snprintf(variable, sizeof variable, "STANDIN_%s_%s", name, what);
    DWORD length = GetEnvironmentVariableA(variable, value, size);
    return length != 0 && length < size;
}

/* The path after /debuglog" or /log " on the command line; false when there is none. */
static int log_path(char* path, size_t size) {
    const char* line = GetCommandLineA();
    const char* setup = strstr(line, "/debuglog\"");
    const char* removal = strstr(line, "/log \"");
    const char* start = setup != NULL ? setup + 10 : removal != NULL ? removal + 6 : NULL;
    const char* end = start != NULL ? strchr(start, '"') : NULL;
    if (end == NULL || (size_t)(end - start) >= size) {
        return 0;
    }
    memcpy(path, start, (size_t)(end - start));
    path[end - start] = '\0';
    return 1;
}

/* Writes "<name> log" anew at `log`, sharing what is given, as a setup writes its own log. */
static BOOL write_own_log(const char* log, DWORD share, DWORD* error) {
    char line[MAX_PATH];
    HANDLE file =
        CreateFileA(log, GENERIC_WRITE, share, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    *error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    snprintf(line, sizeof line, "%s log\r\n", name);
    DWORD written = 0;
    BOOL wrote =
        file != INVALID_HANDLE_VALUE && WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return wrote;
}

static void swap_and_write_log(void) {
    char other[MAX_PATH];
    char log[MAX_PATH];
    char line[3 * MAX_PATH];
    if (!text_setting("SWAP_LOG", other, sizeof other) || !log_path(log, sizeof log)) {
        return;
    }
    char folder[MAX_PATH];
    char moved[MAX_PATH + 8];
    snprintf(folder, sizeof folder, "%.*s", (int)(strrchr(log, '\\') - log), log);
    snprintf(moved, sizeof moved, "%s.moved", folder);
    BOOL renamed = MoveFileA(folder, moved);
    if (renamed) {
        MoveFileA(moved, folder);
    }
    snprintf(line, sizeof line, "rename|%s|%d", name, renamed);
    record(line);
    char away[MAX_PATH + 8];
    snprintf(away, sizeof away, "%s.away", log);
    BOOL deleted = DeleteFileA(log) || MoveFileA(log, away);
    BOOL linked = CreateHardLinkA(log, other, NULL);
    DWORD error = 0;
    BOOL wrote = write_own_log(log, FILE_SHARE_READ | FILE_SHARE_WRITE, &error);
    snprintf(line, sizeof line, "swap|%s|%d|%d|%d", name, deleted, linked, wrote);
    record(line);
}

static void write_log(void) {
    char log[MAX_PATH];
    char line[MAX_PATH];
    long share = setting("WRITE_LOG", -1);
    if (share < 0 || !log_path(log, sizeof log)) {
        return;
    }
    DWORD error = 0;
    BOOL wrote = write_own_log(log, (DWORD)share, &error);
    snprintf(line, sizeof line, "log|%s|%d|%lu", name, wrote, error);
    record(line);
    long failed = setting("LOG_FAILED_EXIT", -1);
    if (!wrote && failed >= 0) {
        exit((int)failed);
    }
}

static void find_name(void) {
    GetModuleFileNameA(NULL, module, sizeof module);
    const char* base = strrchr(module, '\\');
    base = base ? base + 1 : module;
    size_t i = 0;
    for (; base[i] != '\0' && base[i] != '.' && i + 1 < sizeof name; ++i) {
        name[i] = (char)toupper((unsigned char)base[i]);
    }
    name[i] = '\0';
}

/* -1 when no package lies beside this program. */
static long install_package_beside(void) {
    char package[MAX_PATH];
    char msiexec[MAX_PATH];
    snprintf(package, sizeof package, "%.*slumenor.msi", (int)(strrchr(module, '\\') - module + 1),
             module);
    GetSystemDirectoryA(msiexec, sizeof msiexec - 12);
    strcat(msiexec, "\\msiexec.exe");
    if (GetFileAttributesA(package) == INVALID_FILE_ATTRIBUTES) {
        return -1;
    }
    const char* quiet = strstr(GetCommandLineA(), "/s /v/quiet") != NULL ? "/qn" : "/qb";
    return (long)_spawnl(_P_WAIT, msiexec, "msiexec.exe", "/i", package, quiet, NULL);
}

int main(void) {
    find_name();
    static char line[70000];
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);
    snprintf(line, sizeof line, "image|%s", module);
    record(line);
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    snprintf(line, sizeof line, "errormode|%s|%u", name, mode);
    record(line);
    snprintf(line, sizeof line, "start|%s|%s|%s", name, folder, GetCommandLineA());
    record(line);
    if (setting("STDIN", 0) != 0) {
        char input[256] = "";
        if (fgets(input, sizeof input, stdin) != NULL) {
            input[strcspn(input, "\r\n")] = '\0';
        }
        snprintf(line, sizeof line, "stdin|%s|%s", name, input);
        record(line);
    }

    long probe = setting("PROBE_HANDLE", 0);
    if (probe != 0) {
        DWORD flags = 0;
        snprintf(line, sizeof line, "handle|%s|%d", name,
                 GetHandleInformation((HANDLE)(INT_PTR)probe, &flags) ? 1 : 0);
        record(line);
    }
    swap_and_write_log();
    write_log();
    fprintf(stderr, "%s: a line on standard error\n", name);
    long megabytes = setting("OUTPUT_MB", 0);
    long block = setting("BLOCK_KB", 0) * 1024;
    if (block > 0) {
        _setmode(_fileno(stdout), _O_BINARY);
        setvbuf(stdout, NULL, _IOFBF, (size_t)block);
    }
    unsigned long long written = 0;
    static char chunk[1 << 20];
    for (size_t i = 0; i < sizeof chunk; ++i) {
        chunk[i] = (i % 100 == 99) ? '\n' : (char)('a' + i % 26);
    }
    written += fwrite("standin output\n", 1, 15, stdout);
    if (setting("CTRLZ", 0) != 0) {
        written += fwrite("\x1a\n", 1, 2, stdout);
    }
    for (long i = 0; i < megabytes; ++i) {
        written += fwrite(chunk, 1, sizeof chunk, stdout);
    }
    int flushed = fflush(stdout) == 0;
    snprintf(line, sizeof line, "end|%s|%llu%s", name, written, flushed ? "" : "|write failed");
    record(line);
    long installed = install_package_beside();
    if (installed >= 0) {
        snprintf(line, sizeof line, "install|%ld", installed);
        record(line);
    }
    return (int)setting("EXIT", installed >= 0 ? installed : 0);
}
