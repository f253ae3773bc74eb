#include "commands/commands.h"

#include <vector>

#include "detect/detect.h"
#include "platform/bounded.h"
#include "platform/platform.h"
#include "record/run_options.h"
#include "trust/package.h"

namespace {

std::string changeableFinding;

// Where a package others could change is refused, the finding says what and why.
bool OthersMayChange(const std::string& folder, bool runnerTrusted) {
    return OthersMayChangePackage(folder, runnerTrusted, changeableFinding);
}

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

std::string AsSeenElevated(const std::string& path) {
    std::string universal;
    return platform::ReadUniversalPath(path, universal) ? universal : path;
}

// The options with the log path as the elevated process sees it too; false when they would then
// not fit.
bool OptionsSeenElevated(const ChildCommand& command, std::string& options) {
    const std::size_t name = command.commandLine.find(' ') + 1;
    options = command.commandLine.substr(name);
    const std::string quoted = '"' + runOptions.logPath + '"';
    const std::size_t log = runOptions.logRequested ? options.find(quoted) : std::string::npos;
    if (log != std::string::npos) {
        options.replace(log, quoted.size(), '"' + AsSeenElevated(runOptions.logPath) + '"');
    }
    return !Bounded(command.commandLine.substr(0, name) + options).empty();
}

// Started as the system's shell does, in the wrapper's current folder; the consent prompt's
// process is elevated and sees no drive letter the user made, only the share or folder behind it
// [windows.md: mapped-drives].
platform::ChildProcess* StartAsTheShellDoes(const ChildCommand& command) {
    std::string folder;
    std::string options;
    if (!platform::ReadCurrentFolder(folder) || !OptionsSeenElevated(command, options)) {
        return nullptr;
    }
    return platform::StartThroughShell(AsSeenElevated(command.program), options,
                                       AsSeenElevated(folder));
}

std::string FolderOf(const std::string& program) {
    return program.substr(0, program.rfind('\\'));
}

// A program whose manifest asks for elevation cannot be started directly by a wrapper without it
// (the package setup may; Windows Installer never does): started as the system's shell does, it
// shows the consent prompt, unless nobody could answer it, and then runs with administrator
// rights, so its folder is judged as for a wrapper that has them. The running user is trusted
// only where it is the one elevated: a standard user's prompt asks for another administrator,
// who would run what that user put there. Its output cannot be read
// [windows.md: elevation-740, package-trust].
platform::ChildProcess* StartProgram(const ChildCommand& command, bool* throughShell,
                                     Outcome* outcome) {
    platform::StartFailure failure = platform::StartFailure::None;
    platform::ChildProcess* child =
        platform::StartChild(command.program, command.commandLine, &failure);
    *throughShell =
        child == nullptr && failure == platform::StartFailure::NeedsElevation && SomeoneCanAnswer();
    if (*throughShell &&
        OthersMayChange(FolderOf(command.program), platform::ElevatesRunningUser())) {
        *outcome = Outcome::ChangeableByOthers;
        return nullptr;
    }
    child = *throughShell ? StartAsTheShellDoes(command) : child;
    *outcome = child == nullptr ? Outcome::Failed : Outcome::Done;
    return child;
}

// Windows Installer's "Error opening installation log file".
constexpr unsigned long kLogUnwritable = 1622;

// Windows Installer's codes for a removal that was done (3010: a restart is needed, 1641: one was
// started) or had nothing to remove (1605: the product is unknown to it) [windows.md: msi-results].
bool RemovalWasDone(unsigned long status) {
    return status == 0 || status == 3010 || status == 1641 || status == 1605;
}

} // namespace

const std::string& ChangeableFinding() {
    return changeableFinding;
}

bool SomeoneCanAnswer() {
    unsigned long session = 0;
    bool visible = false;
    return platform::QuerySessionId(&session) && session != 0 &&
           platform::QueryWindowStationVisible(&visible) && visible;
}

Outcome RunProgramAndDrain(const ChildCommand& command, unsigned long* status) {
    bool throughShell = false;
    Outcome outcome = Outcome::Failed;
    platform::ChildProcess* child = StartProgram(command, &throughShell, &outcome);
    if (child == nullptr) {
        return outcome;
    }
    std::vector<char> piece(kOutputPieceSize);
    while (platform::ReadChildOutput(child, piece.data(), piece.size())) {
    }
    *status = platform::WaitForChild(child, throughShell);
    return Outcome::Done;
}

// The log path is quoted: below a user's profile it often holds blanks. Windows Installer writes
// its log there anew [windows.md: msi-log]. Without /norestart a quiet removal that needs a restart
// restarts the computer at once, between the removal and the installation, and whoever is logged
// on loses their work [windows.md: msi-norestart].
std::string RemovalCommand() {
    std::string command = std::string("msiexec.exe /x ") + kProductCode + " ";
    if (runOptions.logRequested) {
        command += "/log \"" + runOptions.logPath + "\"";
    }
    command += " /qn /norestart ";
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

Outcome CheckInstallation(bool is64BitSystem) {
    PackageSetup package;
    ChildCommand removal;
    if (!LocatePackageSetup(is64BitSystem, package) || !MakeRemoval(removal) ||
        platform::QueryObject(package.setup.program) != platform::ObjectKind::File ||
        !CanEnter(package)) {
        return Outcome::Failed;
    }
    return platform::RunsAsAdministrator() && OthersMayChange(package.folder, true)
               ? Outcome::ChangeableByOthers
               : Outcome::Done;
}

// How Windows Installer shares its log is documented nowhere. One that shares reading alone
// cannot open it under the write hold and ends at once, having changed nothing: run once more
// under the read hold, where that can be had [windows.md: held-log].
bool RemoveProduct() {
    ChildCommand removal;
    unsigned long status = platform::kUnknownExitStatus;
    if (!MakeRemoval(removal) || RunProgramAndDrain(removal, &status) != Outcome::Done) {
        return false;
    }
    if (status == kLogUnwritable && runOptions.logRequested && platform::HoldLogForReading() &&
        RunProgramAndDrain(removal, &status) != Outcome::Done) {
        return false;
    }
    if (!RemovalWasDone(status)) {
        return false;
    }
    platform::Wait(4000);
    return true;
}

bool RescanDevices() {
    unsigned long root = 0;
    return platform::LocateRootDeviceNode(&root) == platform::kConfigSuccess &&
           platform::ReenumerateDeviceNode(root) == platform::kConfigSuccess;
}

// Windows Installer is taken to share its log for writing, as its two processes write one; most
// setups write theirs sharing reading alone, which a hold that writes would shut out
// [windows.md: held-log].
Outcome LaunchPackageSetup(bool is64BitSystem) {
    PackageSetup package;
    unsigned long status = 0; // the setup's own result is not examined
    if (!LocatePackageSetup(is64BitSystem, package) ||
        !platform::SetCurrentFolder(package.folder)) {
        return Outcome::Failed;
    }
    platform::HoldLogForReading();
    return RunProgramAndDrain(package.setup, &status);
}
