#include <gtest/gtest.h>

#include "app/options.h"
#include "fake_platform.h"

namespace {

class Options : public ::testing::Test {
  protected:
    void SetUp() override { ResetMachine(); }
};

const char kUsage[] =
    "\n\nCorvith Installer 1.8.0.1 - 2014-07-14\n\n\nUSAGE:\n\n"
    "  1. setup.exe -a ----------------------> Install or modify installation\n"
    "  2. setup.exe -a -f2<PathToLogFile> ---> Install or modify installation and add a log file\n"
    "  3. setup.exe -s ----------------------> Run installation in Silent Mode\n"
    "  4. setup.exe -s -f2<PathToLogFile> ---> Run in Silent Mode and add a log file\n"
    "  5. setup.exe -r ----------------------> Removes the installed driver\n"
    "  6. setup.exe -r -f2<PathToLogFile> ---> Removes the installed driver and add a log file\n"
    "  7. setup.exe -r -s -------------------> Removes the installed driver in Silent Mode\n"
    "  8. setup.exe -r -s -f2<PathToLogFile -> Removes the installed driver in Silent Mode with "
    "log file\n\n\nExample: setup.exe -s -f2c:\\temp\\silentlog.log\n\n";

std::string BadArgument(const std::string& argument) {
    return "\nError in Input File: please check usage.\n Line: " + argument + "\n";
}

TEST_F(Options, NoArgumentsPrintsUsageOnlyAndExitsOne) {
    EXPECT_EQ(RunWrapper({}), 1);
    EXPECT_EQ(machine.console, kUsage);
    EXPECT_TRUE(machine.logs.empty());
    EXPECT_EQ(machine.events, std::vector<std::string>{"exit 1"});
}

TEST_F(Options, PrefixesMatchIgnoringCaseAndTrailingCharacters) {
    for (const char* argument : {"-s", "/S", "-S", "-silent", "/sX"}) {
        runOptions = RunOptions{};
        EXPECT_TRUE(ParseArgument(argument)) << argument;
        EXPECT_TRUE(runOptions.silent) << argument;
    }
    runOptions = RunOptions{};
    EXPECT_TRUE(ParseArgument("/A2"));
    EXPECT_TRUE(runOptions.install);
    EXPECT_TRUE(ParseArgument("-R"));
    EXPECT_TRUE(runOptions.remove);
    for (const char* argument : {"", "-", "s", "-f", "-F", "--s", "\\s", "f2x", "-x"}) {
        EXPECT_FALSE(ParseArgument(argument)) << argument;
    }
}

TEST_F(Options, LogOptionTakesTheRestAndTheLastOneWins) {
    EXPECT_TRUE(ParseArgument("-F2first.log"));
    EXPECT_TRUE(ParseArgument("/f2c:\\temp\\second.log"));
    EXPECT_TRUE(runOptions.logRequested);
    EXPECT_EQ(runOptions.logPath, "c:\\temp\\second.log");
    EXPECT_TRUE(ParseArgument("-f2"));
    EXPECT_EQ(runOptions.logPath, "");
}

TEST_F(Options, UnknownArgumentIsReportedWholeAndVerbatim) {
    EXPECT_EQ(RunWrapper({"-x"}), 1);
    EXPECT_EQ(machine.console, BadArgument("-x"));

    ResetMachine();
    const std::string hostile = "%s%n%x%%" + std::string(5000, 'y');
    EXPECT_EQ(RunWrapper({"-a", hostile, "-s"}), 1);
    EXPECT_EQ(machine.console, BadArgument(hostile));

    ResetMachine();
    EXPECT_EQ(RunWrapper({""}), 1);
    EXPECT_EQ(machine.console, BadArgument(""));
}

TEST_F(Options, OptionsBeforeTheBadArgumentAreInForce) {
    AddFolder("C:\\logs");
    EXPECT_EQ(RunWrapper({"-f2C:\\logs\\run.log", "-s", "-x", "-r"}), 1);
    EXPECT_EQ(machine.console, "");
    EXPECT_EQ(machine.logs["C:\\logs\\run.log"], "SETUP WRAPPER: " + BadArgument("-x"));
    EXPECT_FALSE(runOptions.remove); // parsing stopped at -x

    ResetMachine();
    EXPECT_EQ(RunWrapper({"-x", "-s"}), 1);
    EXPECT_EQ(machine.console, BadArgument("-x"));
}

TEST_F(Options, SilentImpliesInstallUnlessRemoving) {
    machine.displayVersion = std::string("1.8.0.0");
    EXPECT_EQ(RunWrapper({"-s"}), 0);
    EXPECT_TRUE(runOptions.install);

    ResetMachine();
    EXPECT_EQ(RunWrapper({"-r", "-s"}), 7);
    EXPECT_FALSE(runOptions.install);
}

TEST_F(Options, RemoveAndInstallTogetherAreRefused) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"-r", "-a"}, {"-a", "-r"}, {"-r", "-s", "-a"}}) {
        ResetMachine();
        EXPECT_EQ(RunWrapper(arguments), 1);
        EXPECT_EQ(machine.console, runOptions.silent ? "" : "Invalid input parameters\n");
        EXPECT_EQ(machine.events, std::vector<std::string>{"exit 1"});
    }
}

TEST_F(Options, ConflictIsLoggedAtTheResolvedPath) {
    EXPECT_EQ(RunWrapper({"-r", "-a", "-f2run.log"}), 1);
    EXPECT_EQ(machine.logs["C:\\pkg\\run.log"], "SETUP WRAPPER: Invalid input parameters\n");
    EXPECT_EQ(runOptions.debugLogArgument, "/debuglog\"C:\\pkg\\run.log\"");
}

TEST_F(Options, InvalidLogPathExitsTwo) {
    EXPECT_EQ(RunWrapper({"-s", "-f2C:\\missing\\run.log"}), 2);
    EXPECT_EQ(machine.console, "");
    EXPECT_TRUE(machine.logs.empty());

    ResetMachine();
    EXPECT_EQ(RunWrapper({"-f2C:\\missing\\run.log"}), 2);
    EXPECT_EQ(machine.console, "Invalid log file path provided\n");
}

} // namespace
