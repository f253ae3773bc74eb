// The wrapper's three actions on the system: removal, device re-enumeration, the package setup.
#pragma once

#include <cstddef>
#include <string>

// Longest command line: it must fit a 384-byte buffer with its terminator.
constexpr std::size_t kMaxCommandLength = 383;

// The child's output is read in pieces this large, so that reading it costs little beside the pipe
// itself: under Wine every read is a round trip to its server. Taken from the heap, once a child.
constexpr std::size_t kOutputPieceSize = std::size_t{1024} * 1024;

// A child program: the absolute path it is started from, and its whole command line.
struct ChildCommand {
    std::string program;
    std::string commandLine;
};

// Whether a question or a consent prompt shown now can be answered: not in the services' session,
// nor on a window station nobody sees, where it would wait for ever [windows.md: nobody-to-answer].
bool SomeoneCanAnswer();

// What became of a program to run, or of a check before it.
enum class Outcome { Done, Failed, ChangeableByOthers };

// Of a package others may change: the first object found so, and why.
const std::string& ChangeableFinding();

// Starts the program, reads its output to the end, discarding it, and gives its exit status.
// Nothing is started where the program could not be, or where it would run elevated through the
// consent prompt from a folder others may change.
Outcome RunProgramAndDrain(const ChildCommand& command, unsigned long* status);

// Empty when the command would not fit its buffer.
std::string RemovalCommand();
std::string SetupCommand();

// Windows Installer from the system folder; false when that cannot be read or the command would
// not fit [windows.md: wow64-folder].
bool MakeRemoval(ChildCommand& removal);

// Whether an installation can be carried out to its end, checked before anything is removed,
// asked or started: the current folder is readable, the package folder can be entered and holds
// setup.exe as a file, and both command lines fit (else Failed); and, where the wrapper runs with
// administrator rights, that nobody else could have changed the package (else
// ChangeableByOthers).
Outcome CheckInstallation(bool is64BitSystem);

// False, without the wait that follows a removal, when Windows Installer could not be started or
// failed: it then rolled the removal back.
bool RemoveProduct();
bool RescanDevices();
// Failed, with nothing run, when the package folder cannot be reached or the setup cannot start.
Outcome LaunchPackageSetup(bool is64BitSystem);
