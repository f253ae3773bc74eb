#include <gtest/gtest.h>

#include "commands/commands.h"
#include "fake_platform.h"
#include "record/run_options.h"

namespace {

const std::string kRemoval = "msiexec.exe /x {7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24} ";
const std::string kMsiexec = "C:\\Windows\\system32\\msiexec.exe";

class Commands : public ::testing::Test {
  protected:
    void SetUp() override { ResetMachine(); }
};

TEST_F(Commands, RemovalRunsTheSystemsOwnInstallerWithTwoBlanksBeforeQuietFlag) {
    RemoveProduct();
    EXPECT_EQ(machine.events,
              (std::vector<std::string>{"run " + kMsiexec + " | " + kRemoval + " /qn /norestart ",
                                        "wait 4000"}));
}

TEST_F(Commands, RemovalQuotesTheResolvedLogPath) {
    runOptions.logRequested = true;
    runOptions.logPath = "C:\\Documents and Settings\\a&b\\run.log";
    EXPECT_EQ(RemovalCommand(),
              kRemoval + "/log \"C:\\Documents and Settings\\a&b\\run.log\" /qn /norestart ");
}

TEST_F(Commands, SetupCommandLines) {
    EXPECT_EQ(SetupCommand(), "setup.exe ");
    runOptions.silent = true;
    EXPECT_EQ(SetupCommand(), "setup.exe /s /v/quiet ");
    runOptions.logRequested = true;
    runOptions.debugLogArgument = "/debuglog\"c:\\temp\\silentlog.log\"";
    EXPECT_EQ(SetupCommand(), "setup.exe /s /v/quiet /debuglog\"c:\\temp\\silentlog.log\"");
    runOptions.silent = false;
    EXPECT_EQ(SetupCommand(), "setup.exe /debuglog\"c:\\temp\\silentlog.log\"");
}

TEST_F(Commands, LongestAcceptedLogPathFitsBothCommandLines) {
    runOptions.silent = true;
    runOptions.logRequested = true;
    runOptions.logPath = "C:\\" + std::string(256, 'p');
    runOptions.debugLogArgument = "/debuglog\"" + runOptions.logPath + "\"";
    EXPECT_FALSE(RemovalCommand().empty());
    EXPECT_FALSE(SetupCommand().empty());
}

TEST_F(Commands, CommandThatWouldNotFitIsNeverRun) {
    runOptions.logRequested = true;
    runOptions.logPath = std::string(400, 'p');
    runOptions.debugLogArgument = "/debuglog\"" + runOptions.logPath + "\"";
    EXPECT_EQ(RemovalCommand(), "");
    EXPECT_FALSE(RemoveProduct());
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Failed);
    EXPECT_TRUE(machine.events.empty());
}

TEST_F(Commands, OutputIsDrainedToTheEndInPiecesThatFitTheBuffer) {
    std::string output(kOutputPieceSize + 1, 'x'); // one long line
    for (int i = 0; i < 50000; ++i) {
        output += "line " + std::to_string(i) + "\n";
    }
    output += "no final line feed";
    machine.commandOutput["setup.exe "] = output;
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Done);
    EXPECT_EQ(machine.undrainedBytes, 0u);
    EXPECT_EQ(machine.largestPiece, kOutputPieceSize);
}

TEST_F(Commands, SetupRunsFromInsideThePackageFolderForTheSystem) {
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Done);
    EXPECT_EQ(machine.events,
              (std::vector<std::string>{"cd C:\\pkg\\Win7\\64",
                                        "run C:\\pkg\\Win7\\64\\setup.exe | setup.exe "}));
    ResetMachine();
    EXPECT_EQ(LaunchPackageSetup(false), Outcome::Done);
    EXPECT_EQ(machine.events[0], "cd C:\\pkg\\Win7\\32");
    // A distribution point's share: no interpreter stands in the way of a UNC current folder.
    ResetMachine();
    machine.currentFolder = "\\\\server\\share\\pkg";
    AddFolder("\\\\server\\share\\pkg\\Win7\\64");
    AddFile("\\\\server\\share\\pkg\\Win7\\64\\setup.exe");
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Done);
    EXPECT_EQ(machine.events.back(),
              "run \\\\server\\share\\pkg\\Win7\\64\\setup.exe | setup.exe ");
}

TEST_F(Commands, UnreachablePackageFolderRunsNothing) {
    machine.objects.erase("C:\\pkg\\Win7\\64");
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Failed); // even though Win7\32 exists
    machine.currentFolderFails = true;
    EXPECT_EQ(LaunchPackageSetup(false), Outcome::Failed);
    machine.currentFolderFails = false;
    machine.currentFolder = "C:\\" + std::string(250, 'f'); // fits, but not with \Win7\32
    AddFolder(machine.currentFolder + "\\Win7\\32");
    EXPECT_EQ(LaunchPackageSetup(false), Outcome::Failed);
    EXPECT_TRUE(machine.events.empty());
}

TEST_F(Commands, SetupThatCannotStartIsAFailedLaunch) {
    machine.unstartable.insert("C:\\pkg\\Win7\\64\\setup.exe");
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Failed);
}

// Started as the shell does, which asks for consent: with the options after the program's name,
// in the package folder, waited for while the thread's messages are dispatched.
TEST_F(Commands, SetupThatNeedsElevationStartsThroughTheShell) {
    runOptions.silent = true;
    machine.needsElevation.insert("C:\\pkg\\Win7\\64\\setup.exe");
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Done);
    EXPECT_EQ(machine.events,
              (std::vector<std::string>{
                  "cd C:\\pkg\\Win7\\64",
                  "shell C:\\pkg\\Win7\\64\\setup.exe | /s /v/quiet  | in C:\\pkg\\Win7\\64",
                  "dispatch messages until C:\\pkg\\Win7\\64\\setup.exe ends"}));
    machine.consentDeclined = true;
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Failed);
    // The elevated process sees no drive letter the user mapped, only the share behind it.
    ResetMachine();
    machine.currentFolder = "Z:\\pkg";
    machine.mappedDrives["Z:"] = "\\\\server\\share";
    AddFolder("Z:\\pkg\\Win7\\64");
    AddFile("Z:\\pkg\\Win7\\64\\setup.exe");
    AddFile("\\\\server\\share\\pkg\\Win7\\64\\setup.exe");
    machine.needsElevation.insert("Z:\\pkg\\Win7\\64\\setup.exe");
    runOptions.logRequested = true;
    runOptions.logPath = "Z:\\logs\\x.log";
    runOptions.debugLogArgument = "/debuglog\"Z:\\logs\\x.log\"";
    EXPECT_EQ(LaunchPackageSetup(true), Outcome::Done);
    EXPECT_EQ(machine.events[1], "shell \\\\server\\share\\pkg\\Win7\\64\\setup.exe | "
                                 "/debuglog\"\\\\server\\share\\logs\\x.log\" | in "
                                 "\\\\server\\share\\pkg\\Win7\\64");
    // Without a folder of its own the shell would choose one: nothing is started.
    machine.events.clear();
    machine.needsElevation.insert(machine.systemFolder + "\\msiexec.exe");
    machine.currentFolderFails = true;
    EXPECT_FALSE(RemoveProduct());
    EXPECT_TRUE(machine.events.empty());
}

TEST_F(Commands, InstallationIsReadyOnlyWhenItCanBeCarriedOut) {
    const std::vector<std::pair<const char*, void (*)()>> faults = {
        {"current folder unreadable", [] { machine.currentFolderFails = true; }},
        {"no package folder", [] { machine.objects.erase("C:\\pkg\\Win7\\64"); }},
        {"no setup.exe", [] { machine.objects.erase("C:\\pkg\\Win7\\64\\setup.exe"); }},
        {"setup.exe a folder", [] { AddFolder("C:\\pkg\\Win7\\64\\setup.exe"); }},
        {"folder cannot be entered", [] { AddFile("C:\\pkg\\Win7\\64"); }},
        {"system folder unreadable", [] { machine.systemFolder.clear(); }},
        {"command line too long",
         [] {
             runOptions.logRequested = true;
             runOptions.debugLogArgument = std::string(380, 'p');
         }},
        {"setup path too long",
         [] {
             machine.currentFolder = "C:\\" + std::string(240, 'f');
             AddFolder(machine.currentFolder + "\\Win7\\64");
             AddFile(machine.currentFolder + "\\Win7\\64\\setup.exe");
         }},
    };
    EXPECT_EQ(CheckInstallation(true), Outcome::Done);
    EXPECT_EQ(machine.currentFolder, "C:\\pkg"); // entered and left again
    for (const auto& [fault, apply] : faults) {
        ResetMachine();
        apply();
        EXPECT_EQ(CheckInstallation(true), Outcome::Failed) << fault;
        for (const std::string& event : machine.events) {
            EXPECT_EQ(event.rfind("run ", 0), std::string::npos) << fault;
        }
    }
}

TEST_F(Commands, RescanStopsAtTheFirstFailingCall) {
    EXPECT_TRUE(RescanDevices());
    EXPECT_EQ(machine.events, (std::vector<std::string>{"locate", "reenumerate 1"}));
    machine.events.clear();
    machine.locateResult = 19;
    EXPECT_FALSE(RescanDevices());
    EXPECT_EQ(machine.events, std::vector<std::string>{"locate"});
    machine.locateResult = 0;
    machine.reenumerateResult = 3;
    EXPECT_FALSE(RescanDevices());
}

} // namespace
