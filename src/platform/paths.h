// Absolute Windows paths taken apart, character by character in the process's code page, or in
// UTF-8, where no byte of a character is ever a "\".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

enum class Spelling { CodePage, Utf8 };

// Where each single-byte "\" of `path` stands.
std::vector<std::size_t> Separators(const std::string& path,
                                    Spelling spelling = Spelling::CodePage);

// Length of the root of an absolute path, "C:\" or "\\server\share\"; 0 for anything else.
std::size_t RootLength(const std::string& path, Spelling spelling = Spelling::CodePage);

} // namespace platform
