#include "commands/commands.h"

#include <vector>

#include "app/options.h"
#include "detect/detect.h"
#include "platform/bounded.h"
#include "platform/platform.h"

namespace {

std::string Bounded(const std::string& command) {
    return command.size() <= kMaxCommandLength ? command : std::string();
}

// Paths of the package setup below the current folder.
struct PackageSetup {
    std::string current;
    std::string folder;
    ChildCommand setup;
};

bool LocatePackageSetup(bool is64BitSystem, PackageSetup& out) {
    if (!platform::ReadCurrentFolder(out.current)) {
        return false;
    }
    out.folder = out.current + (is64BitSystem ? "\\Win7\\64" : "\\Win7\\32");
    out.setup = {out.folder + "\\setup.exe", SetupCommand()};
    return out.setup.program.size() < platform::kPathBufferSize && !out.setup.commandLine.empty();
}

// Entered and left again: the removal runs in the wrapper's own current folder.
bool CanEnter(const PackageSetup& package) {
    return platform::SetCurrentFolder(package.folder) &&
           platform::SetCurrentFolder(package.current);
}

} // namespace

bool RunProgramAndDrain(const ChildCommand& command) {
    platform::ChildProcess* child = platform::StartChild(command.program, command.commandLine);
    if (child == nullptr) {
        return false;
    }
    std::vector<char> piece(kOutputPieceSize);
    while (platform::ReadChildOutput(child, piece.data(), piece.size())) {
    }
    platform::WaitForChild(child);
    return true;
}

// The log path is quoted: below a user's profile it often holds blanks.
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

bool MakeRemoval(ChildCommand& removal) {
    std::string system;
    if (!platform::ReadSystemFolder(system)) {
        return false;
    }
    removal = {system + "\\msiexec.exe", RemovalCommand()};
    return removal.program.size() < platform::kPathBufferSize && !removal.commandLine.empty();
}

bool InstallationIsReady(bool is64BitSystem) {
    PackageSetup package;
    ChildCommand removal;
    return LocatePackageSetup(is64BitSystem, package) && MakeRemoval(removal) &&
           platform::QueryObject(package.setup.program) == platform::ObjectKind::File &&
           CanEnter(package);
}

void RemoveProduct() {
    ChildCommand removal;
    if (MakeRemoval(removal)) {
        RunProgramAndDrain(removal);
    }
    platform::Wait(4000);
}

bool RescanDevices() {
    unsigned long root = 0;
    return platform::LocateRootDeviceNode(&root) == platform::kConfigSuccess &&
           platform::ReenumerateDeviceNode(root) == platform::kConfigSuccess;
}

bool LaunchPackageSetup(bool is64BitSystem) {
    PackageSetup package;
    return LocatePackageSetup(is64BitSystem, package) &&
           platform::SetCurrentFolder(package.folder) && RunProgramAndDrain(package.setup);
}
