#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/characters.h"
#include "record/run_options.h"
#include "report/report.h"

namespace {

class LogPath : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetMachine();
        AddFolder("c:\\temp");
        AddFolder("C:\\Users\\me\\Temp");
        machine.environment["TEMP"] = "C:\\Users\\me\\Temp";
    }

    // Resolves `typed` and returns the path, or "rejected".
    static std::string Resolve(const std::string& typed) {
        runOptions.logRequested = true;
        runOptions.logPath = typed;
        return ResolveLogPath() ? runOptions.logPath : "rejected";
    }
};

TEST_F(LogPath, FolderPathsStayAsTypedWhenTheFolderExists) {
    EXPECT_EQ(Resolve("c:\\temp\\silentlog.log"), "c:\\temp\\silentlog.log");
    EXPECT_EQ(Resolve("c:/temp/silentlog.log"), "rejected"); // c:/temp is not that folder here
    AddFolder("logs");
    AddFolder("C:\\pkg\\logs");
    // Absolute, so that the setup, which runs in its package folder, writes the same file.
    EXPECT_EQ(Resolve("logs/run.log"), "C:\\pkg\\logs\\run.log");
    EXPECT_EQ(Resolve("nologs/run.log"), "rejected");
    EXPECT_EQ(Resolve("\\run.log"), "rejected"); // empty folder part
    machine.objects["C:\\plain.txt"] = platform::ObjectKind::File;
    EXPECT_EQ(Resolve("C:\\plain.txt\\run.log"), "rejected"); // no file can be made there
    // Every folder from the root is opened and held, down to the file. A link is refused
    // whoever owns it, the system's own compatibility junctions too; a folder that cannot be
    // listed (and so held) only where the system owns it.
    AddFolder("C:\\Documents and Settings\\me");
    machine.folderLinks = {"C:\\Documents and Settings", "c:\\temp\\mine"};
    machine.systemOwned = {"C:\\Documents and Settings", "C:\\Windows",
                           "C:\\Windows\\Logs\\run.log"};
    EXPECT_EQ(Resolve("C:\\Documents and Settings\\me\\run.log"), "rejected");
    EXPECT_EQ(machine.heldLog, "");
    AddFolder("c:\\temp\\mine\\sub");
    EXPECT_EQ(Resolve("c:\\temp\\mine\\sub\\run.log"), "rejected");
    AddFolder("C:\\Windows\\Logs");
    AddFolder("c:\\temp\\closed");
    machine.unlistedFolders = {"C:\\Windows", "c:\\temp\\closed", "C:\\Documents and Settings"};
    EXPECT_EQ(Resolve("C:\\Documents and Settings\\me\\run.log"), "rejected"); // the system's link
    machine.heldFolders.clear();
    EXPECT_EQ(Resolve("C:\\Windows\\Logs\\run.log"), "C:\\Windows\\Logs\\run.log");
    EXPECT_EQ(machine.heldFolders,
              (std::vector<std::string>{"C:\\", "C:\\Windows", "C:\\Windows\\Logs"}));
    EXPECT_EQ(machine.heldLog, "C:\\Windows\\Logs\\run.log");
    EXPECT_EQ(Resolve("c:\\temp\\closed\\run.log"), "rejected");
    AddFolder("\\\\server\\share\\logs");
    machine.heldFolders.clear();
    EXPECT_EQ(Resolve("\\\\server\\share\\logs\\run.log"), "\\\\server\\share\\logs\\run.log");
    EXPECT_EQ(machine.heldFolders,
              (std::vector<std::string>{"\\\\server\\share\\", "\\\\server\\share\\logs"}));
    // An empty folder can become a link between its walk and the file's open.
    machine.becomeLinks = {"c:\\temp"};
    EXPECT_EQ(Resolve("c:\\temp\\run.log"), "rejected");
    AddFolder("c:\\temp\\open");
    EXPECT_EQ(Resolve("c:\\temp\\open\\run.log"), "rejected"); // one above the file's
    EXPECT_EQ(machine.heldLog, "");
    machine.becomeLinks.clear();
    // A log that was there: its owner could later shut the children out of it. Nor a pipe or a
    // device, reached through a link.
    for (const char* name : {"c:\\temp\\theirs.log", "c:\\temp\\mine.log", "c:\\temp\\pipe.log"}) {
        AddFile(name);
    }
    machine.otherUsersFiles = {"c:\\temp\\theirs.log"};
    machine.notOnDisk = {"c:\\temp\\pipe.log"};
    EXPECT_EQ(Resolve("c:\\temp\\theirs.log"), "rejected");
    EXPECT_EQ(Resolve("c:\\temp\\pipe.log"), "rejected");
    EXPECT_EQ(Resolve("c:\\temp\\mine.log"), "c:\\temp\\mine.log");
    // Nor one that others may change, attributes included, or that no child could write anew.
    AddFile("c:\\temp\\shared.log");
    AddFile("c:\\temp\\hidden.log");
    for (const unsigned long right : {0x2UL, 0x100UL, 0x00040000UL}) {
        machine.security["c:\\temp\\shared.log"] = DefaultSecurity();
        machine.security["c:\\temp\\shared.log"].entries.back().mask |= right;
        EXPECT_EQ(Resolve("c:\\temp\\shared.log"), "rejected") << right;
    }
    // Its owner as before: the system's or the runner's, not the domain's administrators.
    AddFile("c:\\temp\\domain.log");
    machine.security["c:\\temp\\domain.log"] = DefaultSecurity();
    machine.security["c:\\temp\\domain.log"].owner = platform::Principal::DomainAdmins;
    EXPECT_EQ(Resolve("c:\\temp\\domain.log"), "rejected");
    machine.shutOutLogs = {"c:\\temp\\hidden.log"};
    EXPECT_EQ(Resolve("c:\\temp\\hidden.log"), "rejected");
    machine.unopenableLogs.insert("c:\\temp\\locked.log"); // any failure to open it
    EXPECT_EQ(Resolve("c:\\temp\\locked.log"), "rejected");
}

TEST_F(LogPath, BareNamesLandInTheCurrentFolder) {
    EXPECT_EQ(Resolve("silentlog.log"), "C:\\pkg\\silentlog.log");
    EXPECT_EQ(Resolve("a%TEMP%b.log"), "C:\\pkg\\a%TEMP%b.log");
}

TEST_F(LogPath, UnreadableCurrentFolderEndsTheRunSilently) {
    machine.currentFolderFails = true;
    runOptions.logRequested = true;
    runOptions.logPath = "run.log";
    EXPECT_THROW(ResolveLogPath(), FakeExit);
    EXPECT_EQ(machine.events, std::vector<std::string>{"exit 2"});
    EXPECT_EQ(machine.console, "");
}

TEST_F(LogPath, CurrentFolderTooLongForItsBufferIsUnreadable) {
    machine.currentFolder = "C:\\" + std::string(257, 'd'); // 260 characters
    AddFolder(machine.currentFolder);
    EXPECT_EQ(RunWrapper({"-f2run.log"}), 2);
    EXPECT_EQ(machine.console, "");
}

TEST_F(LogPath, LeadingVariableIsExpanded) {
    EXPECT_EQ(Resolve("%TEMP%\\sub\\run.log"), "C:\\Users\\me\\Temp\\run.log");
    EXPECT_EQ(Resolve("%TEMP%"), "C:\\Users\\me\\Temp\\%TEMP%");
    EXPECT_EQ(Resolve("%NOSUCHVAR%\\run.log"), "rejected");
    EXPECT_EQ(runOptions.logPath, "%NOSUCHVAR%\\run.log"); // left as typed
    EXPECT_EQ(Resolve("%TEMP\\run.log"), "rejected");
    machine.environment["TEMP\\run.log"] = "c:\\temp";
    EXPECT_EQ(Resolve("%TEMP\\run.log"), "c:\\temp\\run.log");
    machine.environment["EMPTY"] = "";
    EXPECT_EQ(Resolve("%EMPTY%\\run.log"), "rejected");
    EXPECT_EQ(Resolve("%%\\run.log"), "rejected");
    machine.environment["GONE"] = "C:\\nowhere";
    EXPECT_EQ(Resolve("%GONE%\\run.log"), "rejected");
    // SYSTEM's variables, expanded by the caller or not.
    machine.environment = {{"TEMP", "C:\\Windows\\Temp"}, {"WINDIR", "C:\\Windows"}};
    AddFolder("C:\\Windows");
    AddFolder("C:\\Windows\\Temp");
    EXPECT_EQ(Resolve("%TEMP%\\LumenorSetup.log"), "C:\\Windows\\Temp\\LumenorSetup.log");
    EXPECT_EQ(Resolve("C:\\Windows\\Temp\\LumenorSetup.log"),
              "C:\\Windows\\Temp\\LumenorSetup.log");
    EXPECT_EQ(Resolve("%WINDIR%\\CCM\\Logs\\x.log"), "C:\\Windows\\x.log");
}

TEST_F(LogPath, VariableTooLongForItsBufferIsRejected) {
    const std::string fits = "C:\\" + std::string(254, 'v'); // 257 characters
    AddFolder(fits);
    machine.environment["LONG"] = fits;
    EXPECT_EQ(Resolve("%LONG%\\r"), fits + "\\r");
    const std::string tooLong = fits + "vvv"; // 260 characters: no room for the terminator
    AddFolder(tooLong);
    machine.environment["LONG"] = tooLong;
    EXPECT_EQ(Resolve("%LONG%\\r"), "rejected");
}

TEST_F(LogPath, PathsThatCanNeverHoldALogAreRejected) {
    EXPECT_EQ(Resolve(""), "rejected");           // -f2 alone: no file name
    EXPECT_EQ(Resolve("c:\\temp\\"), "rejected"); // ends in a separator
    EXPECT_EQ(Resolve("c:\\temp/"), "rejected");
    EXPECT_EQ(Resolve("%TEMP%\\"), "rejected");
    AddFolder("c:\\temp\\sub");
    EXPECT_EQ(Resolve("c:\\temp\\sub"), "rejected"); // an existing folder
    AddFolder("C:\\pkg\\Win7");
    EXPECT_EQ(Resolve("Win7"), "rejected");
    // The device namespace: the colon sits in the folder part, which exists.
    AddFolder("\\\\.\\C:\\logs");
    EXPECT_EQ(Resolve("\\\\.\\C:\\logs\\run.log"), "rejected");
    // Streams of another file, and devices, whatever their case, extension and trailing blanks.
    for (const char* path :
         {"C:run.log", "c:\\temp\\run.log:s", "c:\\temp:\\run.log", ":run.log", "1:\\run.log",
          "CON", "nul.log", "c:\\temp\\Aux", "c:\\temp\\prn. .txt", "c:\\temp\\con .log",
          "c:\\temp\\CONIN$", "c:\\temp\\conout$.x", "c:\\temp\\COM1", "c:\\temp\\lpt9.log",
          "%TEMP%\\nul"}) {
        EXPECT_EQ(Resolve(path), "rejected") << path;
    }
    // A file that is a reparse point, or one of two names of another file.
    machine.fileLinks = {"c:\\temp\\symbolic.log"};
    machine.linkedFiles = {"C:\\pkg\\second-name.log"};
    EXPECT_EQ(Resolve("c:\\temp\\symbolic.log"), "rejected");
    EXPECT_EQ(Resolve("second-name.log"), "rejected");
    for (const char* path : {"c:\\temp\\COM0", "c:\\temp\\com10", "c:\\temp\\console.log",
                             "c:\\temp\\nul_.log", "c:\\temp\\a.con", "c:\\temp\\lpt"}) {
        EXPECT_NE(Resolve(path), "rejected") << path;
    }
}

// Code page 932: the second byte of a character may be "\" or "|" (0x5C, 0x7C).
TEST_F(LogPath, DoubleByteCharactersAreNotSeparatorsOrForbidden) {
    UseCodePage932();
    const std::string soft = "\x83\x5C\x83\x74\x83\x67.log";                 // a name ending in ト
    const std::string report = "c:\\temp\\\x83\x8C\x83\x7C\x81\x5B\x83\x67"; // a folder
    AddFolder(report);
    EXPECT_EQ(Resolve(soft), "C:\\pkg\\" + soft);
    EXPECT_EQ(Resolve(report + "\\run.log"), report + "\\run.log");
    EXPECT_EQ(Resolve("c:\\temp\\\x83\x5C"
                      "con.log"),
              "c:\\temp\\\x83\x5C"
              "con.log");
    EXPECT_EQ(Resolve("%TEMP%\\" + soft), "C:\\Users\\me\\Temp\\" + soft);
    // Real separators and forbidden characters stay what they are; a byte below 0x40 is never
    // a second byte.
    EXPECT_EQ(Resolve("c:\\temp\\a|b"), "rejected");
    EXPECT_EQ(Resolve("c:\\temp\\\x81\"x.log"), "rejected");
    EXPECT_EQ(Resolve("\x83\x5C\x83\x74\\run.log"), "rejected"); // folder missing
}

TEST_F(LogPath, CharactersNoWindowsPathHoldsAreRejected) {
    for (const char* name : {"a\"b.log", "a<b", "a>b", "a|b", "a*b", "a?b", "a\tb", "a\x1f"}) {
        EXPECT_EQ(Resolve(std::string("c:\\temp\\") + name), "rejected") << name;
        EXPECT_EQ(Resolve(name), "rejected") << name;
    }
    machine.environment["QUOTED"] = "c:\\temp\" & calc & \"";
    EXPECT_EQ(Resolve("%QUOTED%\\run.log"), "rejected");
    // Allowed, if unusual: the interpreter's own special characters and bytes above 0x7F.
    EXPECT_EQ(Resolve("c:\\temp\\a&b^(c)%d\xe9.log"), "c:\\temp\\a&b^(c)%d\xe9.log");
}

TEST_F(LogPath, LengthLimitIsTwoHundredFiftyNineCharacters) {
    const std::string folder = "c:\\temp\\";
    EXPECT_EQ(Resolve(folder + std::string(259 - folder.size(), 'n')).size(), 259u);
    EXPECT_EQ(Resolve(folder + std::string(260 - folder.size(), 'n')), "rejected");
    EXPECT_EQ(Resolve(std::string(300, 'n')), "rejected");
}

class Reporting : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetMachine();
        AddFolder("c:\\temp");
    }
};

TEST_F(Reporting, LogGetsThePrefixedLineAndConsoleTheTextAlone) {
    runOptions.logRequested = true;
    runOptions.logPath = "c:\\temp\\run.log";
    ReportMessage("Invalid input parameters\n");
    ReportMessage("100% %s done\n");
    EXPECT_EQ(machine.logs["c:\\temp\\run.log"],
              "SETUP WRAPPER: Invalid input parameters\nSETUP WRAPPER: 100% %s done\n");
    EXPECT_EQ(machine.console, "Invalid input parameters\n100% %s done\n");
}

TEST_F(Reporting, SilentRunsWriteOnlyTheLogAndAnUnwritableLogIsSkipped) {
    runOptions.silent = true;
    runOptions.logRequested = true;
    runOptions.logPath = "c:\\temp\\run.log";
    ReportMessage("one\n");
    EXPECT_EQ(machine.console, "");
    EXPECT_EQ(machine.logs["c:\\temp\\run.log"], "SETUP WRAPPER: one\n");

    runOptions.silent = false;
    machine.unwritableLogs.insert("c:\\temp\\run.log");
    ReportMessage("two\n");
    EXPECT_EQ(machine.console, "two\n");
    EXPECT_EQ(machine.logs["c:\\temp\\run.log"], "SETUP WRAPPER: one\n");
}

// A pipe may take part of each piece; a console in code page 65001 on Windows 7 takes it whole but
// reports the characters written, not the bytes. Either way every byte goes out once.
TEST(ConsolePieces, EveryByteGoesOutOnceInWholeCharactersOfAtMostEightKiB) {
    machine = FakeMachine{};
    UseCodePage932();
    std::string text = "-";
    for (int i = 0; i < 9000; ++i) {
        text += "\x83\x5c"; // a double-byte character whose second byte is a backslash
    }
    for (const bool console : {false, true}) {
        std::string taken;
        platform::WriteInPieces(
            text, console, [&](const char* bytes, std::size_t size, std::size_t* written) {
                EXPECT_LE(size, platform::kConsolePieceSize);
                EXPECT_NE(static_cast<unsigned char>(bytes[size - 1]), 0x83u) << "half a character";
                *written = console ? size / 2 : size / 3 + 1;
                taken.append(bytes, console ? size : *written);
                return true;
            });
        EXPECT_EQ(taken, text) << (console ? "console" : "pipe");
        int calls = 0; // a write that takes nothing ends the output instead of looping
        platform::WriteInPieces(text, console, [&](const char*, std::size_t, std::size_t* written) {
            *written = 0;
            return ++calls < 10; // a bound, should it loop
        });
        EXPECT_EQ(calls, 1);
    }
}

// A device or another file's stream is never written to, before resolution or after it.
TEST_F(Reporting, RefusedLogPathsAreNeverWritten) {
    for (const char* path :
         {"%NOSUCHVAR%\\run.log", "NUL", "C:run.log", "c:\\temp\\x.log:s", "c:\\temp\\com1.log"}) {
        ResetMachine();
        AddFolder("c:\\temp");
        EXPECT_EQ(RunWrapper({std::string("-f2") + path}), 2) << path;
        EXPECT_EQ(machine.console, "Invalid log file path provided\n");
        EXPECT_TRUE(machine.logs.empty()) << path;
        ResetMachine();
        AddFolder("c:\\temp");
        EXPECT_EQ(RunWrapper({std::string("-f2") + path, "-x"}), 1) << path;
        EXPECT_EQ(machine.console, "\nError in Input File: please check usage.\n Line: -x\n");
        EXPECT_TRUE(machine.logs.empty()) << path;
    }
    // Nor one whose folder became a link while it was opened: nothing is started.
    ResetMachine();
    AddFolder("c:\\temp");
    machine.displayVersion = "1.7.0.7";
    machine.becomeLinks = {"c:\\temp"};
    EXPECT_EQ(RunWrapper({"-s", "-f2c:\\temp\\run.log"}), 2);
    EXPECT_EQ(machine.events, std::vector<std::string>{"exit 2"});
    EXPECT_TRUE(machine.logs.empty());
}

} // namespace
