// Absolute Windows paths taken apart, character by character in the process's code page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Where each single-byte "\" of `path` stands.
std::vector<std::size_t> Separators(const std::string& path);

// Length of the root of an absolute path, "C:\" or "\\server\share\"; 0 for anything else.
std::size_t RootLength(const std::string& path);

} // namespace platform
