#include "commands/commands.h"

#include "app/options.h"
#include "detect/detect.h"
#include "platform/bounded.h"
#include "platform/platform.h"

namespace {

std::string Bounded(const std::string& command) {
    return command.size() <= kMaxCommandLength ? command : std::string();
}

} // namespace

bool RunCommandAndDrain(const std::string& command) {
    platform::CommandPipe* pipe = platform::OpenCommandPipe(command);
    if (pipe == nullptr) {
        return false;
    }
    char piece[kOutputPieceSize];
    while (platform::ReadCommandPipe(pipe, piece, sizeof piece)) {
    }
    platform::CloseCommandPipe(pipe);
    return true;
}

// The log path is quoted: below a user's profile it often holds blanks, and the interpreter
// would treat an unquoted "&" in it as the start of another command.
std::string RemovalCommand() {
    std::string command = std::string("msiexec.exe /x ") + kProductCode + " ";
    if (runOptions.logRequested) {
        command += "/log \"" + runOptions.logPath + "\"";
    }
    command += " /qn ";
    return Bounded(command);
}

std::string SetupCommand() {
    std::string command = "setup.exe ";
    if (runOptions.silent) {
        command += "/s /v/quiet ";
    }
    if (runOptions.logRequested) {
        command += runOptions.debugLogArgument;
    }
    return Bounded(command);
}

void RemoveProduct() {
    const std::string command = RemovalCommand();
    if (!command.empty()) {
        RunCommandAndDrain(command);
    }
    platform::Wait(4000);
}

bool RescanDevices() {
    unsigned long root = 0;
    return platform::LocateRootDeviceNode(&root) == platform::kConfigSuccess &&
           platform::ReenumerateDeviceNode(root) == platform::kConfigSuccess;
}

bool LaunchPackageSetup(bool is64BitSystem) {
    std::string folder;
    if (!platform::ReadCurrentFolder(folder)) {
        return false;
    }
    folder += is64BitSystem ? "\\Win7\\64" : "\\Win7\\32";
    const std::string command = SetupCommand();
    if (folder.size() >= platform::kPathBufferSize || command.empty() ||
        !platform::SetCurrentFolder(folder)) {
        return false;
    }
    return RunCommandAndDrain(command);
}
