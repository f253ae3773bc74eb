// Refusal messages on the console and in the log, and the log file's path.
#pragma once

#include <cstddef>
#include <string>

// Longest path the wrapper accepts for its log: it must fit a 260-byte path buffer, which also
// guarantees that every command line built from it fits its own buffer.
constexpr std::size_t kMaxLogPathLength = 259;

// `text` ends in a line feed. Never fails: a log that cannot be written is skipped.
void ReportMessage(const std::string& text);

// Rewrites runOptions.logPath in place; true when it can hold the log. Ends the process with
// code 2 when the current directory is needed and cannot be read.
bool ResolveLogPath();
