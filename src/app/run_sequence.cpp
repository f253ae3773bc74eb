#include "app/run_sequence.h"

#include "app/options.h"
#include "app/refuse.h"
#include "commands/commands.h"
#include "detect/detect.h"
#include "platform/platform.h"

namespace {

struct OsRelease {
    unsigned long major;
    unsigned long minor;
};

// The package carries drivers for Windows 7 and Server 2008 R2 only.
constexpr OsRelease kAcceptedSystems[] = {{6, 1}};

constexpr char kNewerInstalled[] = "Newer version is already installed\n";
constexpr char kChangeableByOthers[] =
    "The package can be changed by users other than administrators\n";

// Windows Installer rolled a failed removal back: the release stays, and nothing else is done.
void RemoveOrRefuse() {
    if (!RemoveProduct()) {
        Refuse("Failed to remove the installed version\n", 5);
    }
}

// Removes the installed release before installing over it; ends the run if the device tree
// could not be re-enumerated, since the new driver would not be picked up.
void ReplaceInstalledRelease(unsigned long settleMilliseconds) {
    RemoveOrRefuse();
    platform::Wait(1000);
    if (!RescanDevices()) {
        Refuse("Failed scan for hardware changes\n", 4);
    }
    platform::Wait(settleMilliseconds);
}

// Only an explicit Yes removes the newer release: a box that could not be shown is no consent.
void ReplaceNewerRelease() {
    if (runOptions.silent || !SomeoneCanAnswer()) {
        Refuse(kNewerInstalled, 6);
    }
    const int answer = platform::AskYesNo(
        "A later version of 'Lumenor' is already installed on this machine. Do you wish to "
        "remove it and install this older version?",
        "Lumenor");
    if (answer != platform::kAnswerYes) {
        Refuse(kNewerInstalled, 6);
    }
    ReplaceInstalledRelease(25000);
}

[[noreturn]] void RemoveInstalledRelease() {
    RemoveOrRefuse();
    platform::Wait(1000);
    RescanDevices();
    platform::Wait(2000);
    platform::EndProcess(0);
}

// A package others could change is refused aloud, with what and who, so that an administrator can
// act on it: whatever they put there would run with administrator rights. Anything else that fails
// the installation ends it without a word.
void EndUnlessDone(Outcome outcome) {
    if (outcome == Outcome::ChangeableByOthers) {
        ReportMessage(kChangeableByOthers);
        Refuse(ChangeableFinding() + "\n", 5);
    }
    if (outcome != Outcome::Done) {
        platform::EndProcess(5);
    }
}

[[noreturn]] void InstallPackage(bool is64BitSystem) {
    EndUnlessDone(LaunchPackageSetup(is64BitSystem));
    platform::Wait(1000);
    platform::EndProcess(0);
}

} // namespace

bool AcceptsOperatingSystem(unsigned long major, unsigned long minor) {
    for (const OsRelease& release : kAcceptedSystems) {
        if (release.major == major && release.minor == minor) {
            return true;
        }
    }
    return false;
}

void RunSequence() {
    const InstalledState state = ClassifyInstalledProduct();
    if (state == -1) {
        platform::EndProcess(5);
    }
    const platform::OsVersion version = platform::QueryVersion();
    if (!AcceptsOperatingSystem(version.major, version.minor)) {
        Refuse("This package installs only Windows 7\n", 3);
    }
    const bool is64BitSystem = platform::QueryIs32On64();
    if (state == 0 && runOptions.remove) {
        Refuse("Product to be removed is not installed\n", 7);
    }
    // Nothing is removed for an installation that could not then be carried out.
    EndUnlessDone(runOptions.remove ? Outcome::Done : CheckInstallation(is64BitSystem));
    if (runOptions.install) {
        if (state == 1 || state == 2) {
            ReplaceInstalledRelease(30000);
        } else if (state == 4) {
            ReplaceNewerRelease();
        }
    } else if (runOptions.remove) {
        RemoveInstalledRelease();
    }
    InstallPackage(is64BitSystem);
}
