#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "fake_platform.h"
#include "trust/package.h"

namespace {

using Events = std::vector<std::string>;

const std::string kMsiexec = "run C:\\Windows\\system32\\msiexec.exe | ";
const std::string kRemove =
    kMsiexec + "msiexec.exe /x {7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24}  /qn /norestart ";
const char kQuestion[] =
    "ask Lumenor: A later version of 'Lumenor' is already installed on this machine. Do you "
    "wish to remove it and install this older version?";

Events Join(std::initializer_list<Events> parts) {
    Events all;
    for (const Events& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const std::string kLogged = "SETUP WRAPPER: ";
const Events kRemoval{kRemove, "wait 4000", "wait 1000", "locate", "reenumerate 1"};

// The package folder entered and left again before anything else is done for an installation.
const Events kChecked{"cd C:\\pkg\\Win7\\64", "cd C:\\pkg"};

// A setup given the log finds it held for reading alone, so that it may write it sharing reading.
Events Launch(const std::string& command) {
    Events events{"cd C:\\pkg\\Win7\\64", "run C:\\pkg\\Win7\\64\\setup.exe | " + command,
                  "wait 1000", "exit 0"};
    if (command.find("/debuglog") != std::string::npos) {
        events.insert(events.begin() + 1, "hold the log for reading");
    }
    return events;
}

Events Checked(std::initializer_list<Events> parts) {
    return Join({kChecked, Join(parts)});
}

void Install(const std::string& release) {
    ResetMachine();
    if (!release.empty()) {
        machine.displayVersion = release;
    }
}

struct Row {
    std::vector<std::string> arguments;
    std::string release; // empty: not installed
    Events expected;
    unsigned long removalStatus = 0; // Windows Installer's exit code
    // Its code once the log is held for reading alone; negative: the same.
    long readHeldStatus = -1;
};

void PrintTo(const Row& row, std::ostream* out) {
    for (const std::string& argument : row.arguments) {
        *out << argument << ' ';
    }
    *out << "over " << (row.release.empty() ? "nothing" : row.release) << " removal "
         << row.removalStatus;
}

class DecisionTable : public ::testing::TestWithParam<Row> {};

TEST_P(DecisionTable, RunsExactlyTheActionsOfItsRow) {
    const Row& row = GetParam();
    Install(row.release);
    machine.exitStatus["C:\\Windows\\system32\\msiexec.exe"] = row.removalStatus;
    if (row.readHeldStatus >= 0) {
        machine.exitStatusReadHeld["C:\\Windows\\system32\\msiexec.exe"] =
            static_cast<unsigned long>(row.readHeldStatus);
    }
    const int code = RunWrapper(row.arguments);
    EXPECT_EQ(machine.events, row.expected);
    EXPECT_EQ("exit " + std::to_string(code), machine.events.back());
}

const Events kInteractive = Launch("setup.exe ");
const Events kSilent = Launch("setup.exe /s /v/quiet ");
const Events kLogOnly = Checked({Launch("setup.exe /debuglog\"C:\\pkg\\run.log\"")});
const std::string kRemoveLogged =
    kMsiexec + "msiexec.exe /x {7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24} /log \"C:\\pkg\\run.log\" "
               "/qn /norestart ";

INSTANTIATE_TEST_SUITE_P(
    EveryModeAgainstEveryState, DecisionTable,
    ::testing::Values(
        // install, interactive
        Row{{"-a"}, "1.7.0.8", {"exit 5"}}, Row{{"-a"}, "", Checked({kInteractive})},
        Row{{"-a"}, "1.7.0.6", Checked({kRemoval, {"wait 30000"}, kInteractive})},
        Row{{"-a"}, "1.7.0.7", Checked({kRemoval, {"wait 30000"}, kInteractive})},
        Row{{"-a"}, "1.8.0.0", Checked({kInteractive})},
        Row{{"-a"}, "1.8.0.1", Checked({{kQuestion, "exit 6"}})},
        // install, silent
        Row{{"-s"}, "1.7.0.8", {"exit 5"}}, Row{{"-s"}, "", Checked({kSilent})},
        Row{{"-s"}, "1.7.0.6", Checked({kRemoval, {"wait 30000"}, kSilent})},
        Row{{"-s"}, "1.7.0.7", Checked({kRemoval, {"wait 30000"}, kSilent})},
        Row{{"-s"}, "1.8.0.0", Checked({kSilent})}, Row{{"-s"}, "2.0", Checked({{"exit 6"}})},
        // remove
        Row{{"-r"}, "1.7.0.8", {"exit 5"}}, Row{{"-r"}, "", {"exit 7"}},
        Row{{"-r"}, "1.7.0.6", Join({kRemoval, {"wait 2000", "exit 0"}})},
        Row{{"-r"}, "1.7.0.7", Join({kRemoval, {"wait 2000", "exit 0"}})},
        Row{{"-r"}, "1.8.0.0", Join({kRemoval, {"wait 2000", "exit 0"}})},
        Row{{"-r", "-s"}, "beta1", Join({kRemoval, {"wait 2000", "exit 0"}})},
        // neither: only a log
        Row{{"-f2run.log"}, "1.7.0.8", {"exit 5"}}, Row{{"-f2run.log"}, "", kLogOnly},
        Row{{"-f2run.log"}, "1.7.0.6", kLogOnly}, Row{{"-f2run.log"}, "1.7.0.7", kLogOnly},
        Row{{"-f2run.log"}, "1.8.0.0", kLogOnly}, Row{{"-f2run.log"}, "1.8.0.1", kLogOnly},
        // logged removal and the typical silent upgrade pass the log on
        Row{{"-r", "-f2run.log"},
            "1.7.0.7",
            {kRemoveLogged, "wait 4000", "wait 1000", "locate", "reenumerate 1", "wait 2000",
             "exit 0"}},
        Row{{"-s", "-f2run.log"},
            "1.7.0.7",
            Checked({{kRemoveLogged, "wait 4000", "wait 1000", "locate", "reenumerate 1",
                      "wait 30000"},
                     Launch("setup.exe /s /v/quiet /debuglog\"C:\\pkg\\run.log\"")})},
        // Windows Installer's code: done (a restart needed or started) or an unknown product go
        // on; anything else was rolled back, and nothing more is done.
        Row{{"-r"}, "1.7.0.7", Join({kRemoval, {"wait 2000", "exit 0"}}), 3010},
        Row{{"-s"}, "1.7.0.6", Checked({kRemoval, {"wait 30000"}, kSilent}), 1641},
        Row{{"-s"}, "1.7.0.7", Checked({kRemoval, {"wait 30000"}, kSilent}), 1605},
        Row{{"-r"}, "1.7.0.7", {kRemove, "exit 5"}, 1603},
        Row{{"-s"}, "1.7.0.7", Checked({{kRemove, "exit 5"}}), 1618},
        Row{{"-r", "-s"}, "1.9", {kRemove, "exit 5"}, platform::kUnknownExitStatus},
        // 1622, its log shut out by the write hold: once more under the read hold, only with a
        // log, only once.
        Row{{"-r", "-f2run.log"},
            "1.7.0.7",
            {kRemoveLogged, "hold the log for reading", kRemoveLogged, "wait 4000", "wait 1000",
             "locate", "reenumerate 1", "wait 2000", "exit 0"},
            1622,
            0},
        Row{{"-s", "-f2run.log"},
            "1.7.0.7",
            Checked({{kRemoveLogged, "hold the log for reading", kRemoveLogged, "wait 4000",
                      "wait 1000", "locate", "reenumerate 1", "wait 30000", "cd C:\\pkg\\Win7\\64",
                      "run C:\\pkg\\Win7\\64\\setup.exe | setup.exe /s /v/quiet "
                      "/debuglog\"C:\\pkg\\run.log\"",
                      "wait 1000", "exit 0"}}),
            1622,
            0},
        Row{{"-r"}, "1.7.0.7", {kRemove, "exit 5"}, 1622, 0},
        Row{{"-r", "-s", "-f2run.log"},
            "1.7.0.7",
            {kRemoveLogged, "hold the log for reading", kRemoveLogged, "exit 5"},
            1622}));

class RunSequence : public ::testing::Test {
  protected:
    void SetUp() override { ResetMachine(); }
};

TEST_F(RunSequence, OnlyAnExplicitYesReplacesANewerRelease) {
    for (const int answer : {platform::kAnswerNo, 0, -1, 2}) {
        Install("1.9");
        machine.answer = answer;
        EXPECT_EQ(RunWrapper({"-a"}), 6) << answer;
        EXPECT_EQ(machine.console, "Newer version is already installed\n");
    }
    Install("1.9");
    machine.answer = platform::kAnswerYes;
    EXPECT_EQ(RunWrapper({"-a"}), 0);
    EXPECT_EQ(machine.events, Checked({{kQuestion}, kRemoval, {"wait 25000"}, kInteractive}));
}

// Neither the question nor the consent prompt of a setup that needs elevation.
TEST_F(RunSequence, NoQuestionOrPromptWhereNobodyCanAnswerIt) {
    const std::vector<std::pair<std::optional<unsigned long>, std::optional<bool>>> desktops = {
        {0, true}, {std::nullopt, true}, {1, false}, {1, std::nullopt}};
    for (const auto& [session, visible] : desktops) {
        Install("1.9");
        machine.answer = platform::kAnswerYes;
        machine.session = session;
        machine.stationVisible = visible;
        EXPECT_EQ(RunWrapper({"-a"}), 6);
        EXPECT_EQ(machine.console, "Newer version is already installed\n");
        EXPECT_EQ(machine.events, Checked({{"exit 6"}}));
        Install("");
        machine.session = session;
        machine.stationVisible = visible;
        machine.needsElevation.insert("C:\\pkg\\Win7\\64\\setup.exe");
        EXPECT_EQ(RunWrapper({"-a"}), 5);
        EXPECT_EQ(machine.events, Checked({{"cd C:\\pkg\\Win7\\64", "exit 5"}}));
    }
}

TEST_F(RunSequence, SilentRunOverANewerReleaseNeverAsks) {
    Install("1.9");
    AddFolder("c:\\temp");
    EXPECT_EQ(RunWrapper({"-s", "-f2c:\\temp\\silentlog.log"}), 6);
    EXPECT_EQ(machine.console, "");
    EXPECT_EQ(machine.logs["c:\\temp\\silentlog.log"],
              "SETUP WRAPPER: Newer version is already installed\n");
}

TEST_F(RunSequence, FailedRescanStopsAnInstallationButNotARemoval) {
    for (const std::string release : {"1.7.0.7", "1.9"}) {
        Install(release);
        machine.answer = platform::kAnswerYes;
        machine.reenumerateResult = 1;
        EXPECT_EQ(RunWrapper({"-a"}), 4);
        EXPECT_EQ(machine.console, "Failed scan for hardware changes\n");
        for (const std::string& event : machine.events) {
            EXPECT_EQ(event.find("\\setup.exe | "), std::string::npos);
        }
    }
    Install("1.7.0.7");
    machine.locateResult = 19;
    EXPECT_EQ(RunWrapper({"-r"}), 0);
    EXPECT_EQ(machine.console, "");
}

TEST_F(RunSequence, OnlyWindows7PassesTheGate) {
    for (const platform::OsVersion version :
         {platform::OsVersion{5, 1}, {6, 0}, {6, 2}, {6, 3}, {10, 0}, {7, 1}}) {
        Install("1.7.0.7");
        machine.version = version;
        EXPECT_EQ(RunWrapper({"-a"}), 3);
        EXPECT_EQ(machine.console, "This package installs only Windows 7\n");
        EXPECT_EQ(machine.events, Events{"exit 3"});
    }
}

TEST_F(RunSequence, UnknownOlderReleaseEndsSilentlyBeforeTheGate) {
    Install("1.10.0.0");
    machine.version = {10, 0};
    EXPECT_EQ(RunWrapper({"-r"}), 5);
    EXPECT_EQ(machine.console, "");
}

TEST_F(RunSequence, NotInstalledRemovalIsRefused) {
    EXPECT_EQ(RunWrapper({"-r"}), 7);
    EXPECT_EQ(machine.console, "Product to be removed is not installed\n");
}

TEST_F(RunSequence, ThirtyTwoBitSystemUsesItsOwnFolder) {
    machine.is32On64 = false;
    EXPECT_EQ(RunWrapper({"-s"}), 0);
    EXPECT_EQ(machine.events[2], "cd C:\\pkg\\Win7\\32");
}

// Checked before anything is removed or asked: a run from System32, or a package without its
// setup, must not leave the machine without its driver.
TEST_F(RunSequence, InstallationThatCannotBeCarriedOutEndsWithFiveBeforeAnything) {
    const std::vector<std::vector<std::string>> modes = {{"-a"}, {"-s"}, {"-f2C:\\temp\\r.log"}};
    for (const std::string release : {"", "1.7.0.7", "1.9"}) {
        for (const auto& arguments : modes) {
            Install(release);
            AddFolder("C:\\temp");
            machine.answer = platform::kAnswerYes;
            machine.currentFolder = "C:\\Windows\\system32";
            EXPECT_EQ(RunWrapper(arguments), 5) << release << " " << arguments[0];
            EXPECT_EQ(machine.events, Events{"exit 5"}) << release << " " << arguments[0];
            EXPECT_EQ(machine.console, "");
            EXPECT_TRUE(machine.logs.empty());
        }
    }
    Install("1.7.0.7");
    machine.objects.erase("C:\\pkg\\Win7\\64\\setup.exe");
    EXPECT_EQ(RunWrapper({"-s"}), 5);
    EXPECT_EQ(machine.events, Events{"exit 5"});
}

TEST_F(RunSequence, SetupThatCannotStartEndsWithFive) {
    machine.unstartable.insert("C:\\pkg\\Win7\\64\\setup.exe");
    EXPECT_EQ(RunWrapper({"-s"}), 5);
    EXPECT_EQ(machine.events, Checked({{"cd C:\\pkg\\Win7\\64", "exit 5"}}));
    ResetMachine();
    machine.needsElevation.insert("C:\\pkg\\Win7\\64\\setup.exe");
    machine.consentDeclined = true;
    EXPECT_EQ(RunWrapper({"-a"}), 5);
    EXPECT_EQ(machine.events.back(), "exit 5");
    EXPECT_EQ(machine.console, "");
}

// Whatever another user put in the package would run with administrator rights: judged wherever
// the setup would get them, before anything is removed, asked or started; a removal runs none of
// the package's code. The refusal names what others may change, and how.
TEST_F(RunSequence, PackageOthersCouldHaveChangedIsRefused) {
    const std::string changeable = "C:\\pkg\\Win7\\64\\setup.exe";
    const std::string kRefusal =
        "The package can be changed by users other than administrators\n"
        "C:\\pkg\\Win7\\64\\setup.exe: S-1-5-32-545 (Users) may delete, change\n";
    const std::string kLoggedRefusal = kLogged + kRefusal.substr(0, kRefusal.find('\n') + 1) +
                                       kLogged + kRefusal.substr(kRefusal.find('\n') + 1);
    const auto othersMayWrite = [&changeable] {
        machine.security[changeable] = DefaultSecurity();
        machine.security[changeable].entries.back().mask = 0x001301FF;
    };
    for (const std::string release : {"", "1.7.0.7", "1.9"}) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"-a"}, {"-s", "-f2C:\\pkg\\r.log"}, {"-f2r.log"}}) {
            Install(release);
            othersMayWrite();
            machine.answer = platform::kAnswerYes;
            EXPECT_EQ(RunWrapper(arguments), 5) << release << arguments[0];
            EXPECT_EQ(machine.events, Checked({{"exit 5"}})) << release << arguments[0];
            const bool silent = arguments[0] == "-s";
            EXPECT_EQ(machine.console, silent ? "" : kRefusal);
            const bool logged = arguments.back().rfind("-f2", 0) == 0;
            EXPECT_EQ(machine.logs["C:\\pkg\\r.log"], logged ? kLoggedRefusal : "");
        }
    }
    Install("1.7.0.7");
    othersMayWrite();
    EXPECT_EQ(RunWrapper({"-r", "-s"}), 0);
    EXPECT_EQ(machine.events, Join({kRemoval, {"wait 2000", "exit 0"}}));
    // Without administrator rights the setup runs as the runner, who could change it anyway;
    // through the consent prompt it would not, so it is judged there, after the read hold.
    Install("");
    othersMayWrite();
    machine.administrator = false;
    EXPECT_EQ(RunWrapper({"-a"}), 0);
    Install("");
    othersMayWrite();
    machine.administrator = false;
    machine.needsElevation.insert(changeable);
    EXPECT_EQ(RunWrapper({"-a", "-f2C:\\pkg\\r.log"}), 5);
    EXPECT_EQ(machine.events,
              Checked({{"cd C:\\pkg\\Win7\\64", "hold the log for reading", "exit 5"}}));
    EXPECT_EQ(machine.logs["C:\\pkg\\r.log"], kLoggedRefusal);
    EXPECT_EQ(machine.logWriters, (std::vector<std::string>{"per line", "per line"}));
}

// Before the consent prompt the whole folder is judged, not the setup alone; the runner is
// trusted only where the prompt elevates the runner itself, not where it asks another
// administrator, as whom the setup would run what the runner put there.
TEST_F(RunSequence, ConsentPromptJudgesTheFolderForWhomItElevates) {
    const std::string setup = "C:\\pkg\\Win7\\64\\setup.exe";
    const struct {
        bool filtered;
        const char* changeable;
        const char* line; // none: the setup starts
    } rows[] = {
        {true, nullptr, nullptr},
        {true, "C:\\pkg\\Win7\\64\\lumenor.dll",
         "C:\\pkg\\Win7\\64\\lumenor.dll: S-1-5-32-545 (Users) may change\n"},
        {false, nullptr, "C:\\pkg: owned by S-1-5-21-1-2-3-1001\n"},
    };
    for (const auto& row : rows) {
        Install("");
        machine.administrator = false;
        machine.filteredAdministrator = row.filtered;
        machine.needsElevation.insert(setup);
        AddFile("C:\\pkg\\Win7\\64\\lumenor.dll");
        if (row.changeable != nullptr) {
            machine.security[row.changeable] = DefaultSecurity();
            machine.security[row.changeable].entries.back().mask = 0x001200A9 | 0x2;
        }
        EXPECT_EQ(RunWrapper({"-a"}), row.line == nullptr ? 0 : 5);
        EXPECT_EQ(machine.console,
                  row.line == nullptr
                      ? ""
                      : "The package can be changed by users other than administrators\n" +
                            std::string(row.line));
    }
}

// The line after the refusal, as the log holds it, for each kind of finding.
TEST_F(RunSequence, RefusalLogNamesWhatAndWho) {
    const auto run = [](void (*arrange)()) {
        Install("");
        arrange();
        EXPECT_EQ(RunWrapper({"-s", "-f2C:\\pkg\\r.log"}), 5);
        return machine.logs["C:\\pkg\\r.log"];
    };
    const std::string kFirst =
        "SETUP WRAPPER: The package can be changed by users other than administrators\n";
    EXPECT_EQ(run([] { machine.otherUsersFiles.insert("C:\\pkg\\Win7"); }),
              kFirst + "SETUP WRAPPER: C:\\pkg\\Win7: owned by S-1-5-21-1-2-3-1002\n");
    EXPECT_EQ(run([] {
                  machine.security["C:\\pkg\\Win7\\64"] = DefaultSecurity();
                  machine.security["C:\\pkg\\Win7\\64"].entries.back() = {
                      true, false, 0x40000000, platform::Principal::Other, "S-1-5-11"};
              }),
              kFirst + "SETUP WRAPPER: C:\\pkg\\Win7\\64: S-1-5-11 (Authenticated Users) may "
                       "change, add files\n");
    EXPECT_EQ(run([] {
                  for (std::size_t i = 0; i < kMostPackageObjects; ++i) {
                      AddFile("C:\\pkg\\Win7\\64\\f" + std::to_string(10000 + i));
                  }
              }),
              kFirst + "SETUP WRAPPER: C:\\pkg\\Win7\\64: holds more than 10000 objects, too "
                       "many to be judged\n");
}

TEST_F(RunSequence, FailedRemovalIsReportedAndEndsWithFive) {
    const std::string msiexec = "C:\\Windows\\system32\\msiexec.exe";
    Install("1.9");
    machine.answer = platform::kAnswerYes;
    machine.exitStatus[msiexec] = 1603;
    EXPECT_EQ(RunWrapper({"-a"}), 5);
    EXPECT_EQ(machine.events, Checked({{kQuestion, kRemove, "exit 5"}}));
    EXPECT_EQ(machine.console, "Failed to remove the installed version\n");
    Install("1.8.0.0");
    machine.unstartable.insert(msiexec);
    EXPECT_EQ(RunWrapper({"-r", "-s", "-f2C:\\pkg\\r.log"}), 5);
    EXPECT_EQ(machine.events, Events{"exit 5"});
    EXPECT_EQ(machine.logs["C:\\pkg\\r.log"],
              "SETUP WRAPPER: Failed to remove the installed version\n");
    // Another process shares no reading of the log: the write hold stays, and so does the 1622.
    Install("1.8.0.0");
    machine.exitStatus[msiexec] = 1622;
    machine.readHoldRefused = true;
    EXPECT_EQ(RunWrapper({"-r", "-s", "-f2C:\\pkg\\r.log"}), 5);
    EXPECT_EQ(machine.events, Events({kRemoveLogged.substr(0, kRemoveLogged.find('"')) +
                                          "\"C:\\pkg\\r.log\" /qn /norestart ",
                                      "hold the log for reading", "exit 5"}));
}

} // namespace
