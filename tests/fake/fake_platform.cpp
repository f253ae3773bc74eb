#include "fake_platform.h"

#include <algorithm>
#include <cstring>

#include "app/options.h"

FakeMachine machine;

struct platform::CommandPipe {
    std::string output;
    std::size_t position = 0;
};

void AddFolder(const std::string& path) {
    machine.objects[path] = platform::ObjectKind::Folder;
}

void ResetMachine() {
    machine = FakeMachine{};
    runOptions = RunOptions{};
    AddFolder("C:\\pkg");
    AddFolder("C:\\pkg\\Win7\\64");
    AddFolder("C:\\pkg\\Win7\\32");
}

int RunWrapper(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    try {
        RunEntry(static_cast<int>(argv.size()), argv.data());
    } catch (const FakeExit& exit) {
        return exit.code;
    }
    return -1000; // unreachable: the entry never returns
}

namespace {

// Win32 contract: the length on success, the size needed when the buffer is too small.
std::size_t CopyOut(const std::string& value, char* buffer, std::size_t capacity) {
    if (value.size() + 1 > capacity) {
        return value.size() + 1;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return value.size();
}

} // namespace

namespace platform {

OsVersion QueryVersion() {
    return machine.version;
}

bool QueryIs32On64() {
    return machine.is32On64;
}

long ReadRegistryValue(const std::string& key, const std::string& name, unsigned char* buffer,
                       unsigned long* size) {
    machine.registryQueries.push_back(key + "|" + name);
    if (!machine.displayVersion) {
        return 2; // ERROR_FILE_NOT_FOUND
    }
    const std::string& bytes = *machine.displayVersion;
    if (bytes.size() > *size) {
        *size = static_cast<unsigned long>(bytes.size());
        return 234; // ERROR_MORE_DATA
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    *size = machine.reportedSize.value_or(static_cast<unsigned long>(bytes.size()));
    return 0;
}

unsigned long LocateRootDeviceNode(unsigned long* node) {
    machine.events.push_back("locate");
    *node = 1;
    return machine.locateResult;
}

unsigned long ReenumerateDeviceNode(unsigned long node) {
    machine.events.push_back("reenumerate " + std::to_string(node));
    return machine.reenumerateResult;
}

int AskYesNo(const std::string& text, const std::string& caption) {
    machine.events.push_back("ask " + caption + ": " + text);
    return machine.answer;
}

std::size_t GetCurrentFolder(char* buffer, std::size_t capacity) {
    if (machine.currentFolderFails) {
        return 0;
    }
    return CopyOut(machine.currentFolder, buffer, capacity);
}

bool SetCurrentFolder(const std::string& path) {
    if (QueryObject(path) != ObjectKind::Folder) {
        return false;
    }
    machine.events.push_back("cd " + path);
    machine.currentFolder = path;
    return true;
}

std::size_t GetEnvironmentValue(const std::string& name, char* buffer, std::size_t capacity) {
    const auto found = machine.environment.find(name);
    if (found == machine.environment.end() || found->second.empty()) {
        return 0;
    }
    return CopyOut(found->second, buffer, capacity);
}

ObjectKind QueryObject(const std::string& path) {
    const auto found = machine.objects.find(path);
    return found == machine.objects.end() ? ObjectKind::Missing : found->second;
}

void Wait(unsigned long milliseconds) {
    machine.events.push_back("wait " + std::to_string(milliseconds));
}

CommandPipe* OpenCommandPipe(const std::string& command) {
    if (machine.interpreterMissing) {
        return nullptr;
    }
    machine.events.push_back("run " + command);
    const auto found = machine.commandOutput.find(command);
    return new CommandPipe{found == machine.commandOutput.end() ? "" : found->second, 0};
}

// As the real pipe: a whole buffer's worth whenever that much is left.
bool ReadCommandPipe(CommandPipe* pipe, char* buffer, std::size_t capacity) {
    const std::size_t length = std::min(capacity, pipe->output.size() - pipe->position);
    if (length == 0) {
        return false;
    }
    pipe->output.copy(buffer, length, pipe->position);
    pipe->position += length;
    machine.largestPiece = std::max(machine.largestPiece, length);
    return true;
}

void CloseCommandPipe(CommandPipe* pipe) {
    machine.undrainedBytes += pipe->output.size() - pipe->position;
    delete pipe;
}

void WriteToConsole(const std::string& text) {
    machine.console += text;
}

bool AppendToLog(const std::string& path, const std::string& line) {
    const std::size_t separator = path.find_last_of("/\\");
    const bool folderMissing = separator != std::string::npos &&
                               QueryObject(path.substr(0, separator)) != ObjectKind::Folder;
    if (path.empty() || folderMissing || machine.unwritableLogs.count(path) != 0 ||
        QueryObject(path) == ObjectKind::Folder) {
        return false;
    }
    machine.logs[path] += line;
    return true;
}

void EndProcess(int code) {
    machine.events.push_back("exit " + std::to_string(code));
    throw FakeExit{code};
}

} // namespace platform
