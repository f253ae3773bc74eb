// The wrapper's three actions on the system: removal, device re-enumeration, the package setup.
#pragma once

#include <cstddef>
#include <string>

// Longest command line: it must fit a 384-byte buffer with its terminator.
constexpr std::size_t kMaxCommandLength = 383;

// The child's output is read in pieces this large, so that reading it costs little beside the pipe
// itself. Kept on the stack.
constexpr std::size_t kOutputPieceSize = std::size_t{64} * 1024;

// Runs `command` through the command interpreter and reads its output to the end, discarding it.
// False when the interpreter could not be started.
bool RunCommandAndDrain(const std::string& command);

// Empty when the command would not fit its buffer.
std::string RemovalCommand();
std::string SetupCommand();

void RemoveProduct();
bool RescanDevices();
// False, with nothing run, when the package folder cannot be reached or the setup cannot start.
bool LaunchPackageSetup(bool is64BitSystem);
