// Running programs, reading what they noted, and the files the check lays out.
#include <cstdio>
#include <cstring>
#include <vector>

#include "field.h"
#include "platform/bounded.h"
#include "platform/platform.h"

#include <sddl.h>
#include <winioctl.h>

namespace field {

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                 "{7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24}";

HANDLE OutputFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

// Standard output and error go to a file, read back once the program ends; no run may hold
// the check for longer than `limit`.
Run RunProgram(const Field& field, const std::string& program, const std::string& commandLine,
               const std::string& folder, unsigned long limit, DWORD flags) {
    Run run;
    const std::string outputPath = field.work + "\\output.txt";
    const HANDLE output = OutputFile(outputPath);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const DWORD started = GetTickCount();
    run.started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                 nullptr, folder.c_str(), &startup, &process) != FALSE;
    CloseHandle(output);
    if (!run.started) {
        run.code = GetLastError();
        return run;
    }
    run.ended = WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0;
    if (!run.ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.code = code;
    run.milliseconds = GetTickCount() - started;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.output = ReadWhole(outputPath);
    return run;
}

Run RunWrapper(const Field& field, const std::string& options, const std::string& folder) {
    return RunProgram(field, field.package + "\\setup.exe", "setup.exe " + options,
                      folder.empty() ? field.package : folder);
}

std::vector<std::string> TakeRecord(const Field& field) {
    std::vector<std::string> lines;
    const std::string text = ReadWhole(field.record);
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
    }
    DeleteFileA(field.record.c_str());
    return lines;
}

bool Recorded(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& line : lines) {
        if (line.compare(0, start.size(), start) == 0) {
            return true;
        }
    }
    return false;
}

unsigned long Msiexec(const Field& field, const std::string& arguments) {
    std::string system;
    platform::ReadSystemFolder(system);
    return RunProgram(field, system + "\\msiexec.exe", "msiexec.exe " + arguments, field.work).code;
}

std::string InstalledRelease() {
    unsigned char value[1025] = {};
    unsigned long size = sizeof value - 1;
    if (platform::ReadRegistryValue(kUninstallKey, "DisplayVersion", value, &size) != 0 ||
        size >= sizeof value) {
        return std::string();
    }
    return std::string(reinterpret_cast<char*>(value));
}

// The test packages say so as their publisher: the check never removes a real release.
bool InstallTestRelease(const Field& field, const std::string& release) {
    Msiexec(field, "/x {7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24} /qn /norestart "
                   "LUMENOR_ALLOW_REMOVAL=1");
    if (release.empty()) {
        return InstalledRelease().empty();
    }
    const std::string package = field.home + "\\packages\\lumenor-" + release + ".msi";
    return Msiexec(field, "/i \"" + package + "\" /qn /norestart") == 0 &&
           InstalledRelease() == release;
}

std::string ReadWhole(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return text;
    }
    char buffer[4096];
    for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, file)) != 0;) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return text;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

bool CopyInto(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry = {};
    const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    while (search != INVALID_HANDLE_VALUE) {
        const std::string name = entry.cFileName;
        const std::string child = path + "\\" + name;
        if (name != "." && name != "..") {
            const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (folder && !link) {
                RemoveTree(child);
            } else if (folder) {
                RemoveDirectoryA(child.c_str());
            } else {
                DeleteFileA(child.c_str());
            }
        }
        if (FindNextFileA(search, &entry) == FALSE) {
            FindClose(search);
            break;
        }
    }
    RemoveDirectoryA(path.c_str());
}

std::string Number(unsigned long value) {
    return std::to_string(value);
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

std::string DescriptorText(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    const SECURITY_INFORMATION asked = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, asked, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return std::string();
    }
    std::string result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, asked,
                                                             &text, nullptr) != FALSE) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

// REPARSE_DATA_BUFFER of a mount point, laid out by hand: not every SDK's headers give it.
bool MakeJunction(const std::string& link, const std::string& target) {
    if (CreateDirectoryA(link.c_str(), nullptr) == FALSE) {
        return false;
    }
    const std::string substitute = "\\??\\" + target;
    std::wstring wideSubstitute(substitute.begin(), substitute.end());
    std::wstring wideTarget(target.begin(), target.end());
    const USHORT substituteBytes = static_cast<USHORT>(wideSubstitute.size() * 2);
    const USHORT printBytes = static_cast<USHORT>(wideTarget.size() * 2);
    BYTE buffer[2048] = {};
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const USHORT dataLength = static_cast<USHORT>(8 + substituteBytes + 2 + printBytes + 2);
    const USHORT offsets[4] = {0, substituteBytes, static_cast<USHORT>(substituteBytes + 2),
                               printBytes};
    if (8u + dataLength > sizeof buffer) {
        return false;
    }
    std::memcpy(buffer, &tag, 4);
    std::memcpy(buffer + 4, &dataLength, 2);
    std::memcpy(buffer + 8, offsets, sizeof offsets);
    std::memcpy(buffer + 16, wideSubstitute.data(), substituteBytes);
    std::memcpy(buffer + 16 + substituteBytes + 2, wideTarget.data(), printBytes);
    const HANDLE folder =
        CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool made = folder != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer, 8u + dataLength,
                                      nullptr, 0, &returned, nullptr) != FALSE;
    if (folder != INVALID_HANDLE_VALUE) {
        CloseHandle(folder);
    }
    return made;
}

void Step(const std::string& what) {
    std::printf("... %s\n", what.c_str());
    std::fflush(stdout);
}

} // namespace field
