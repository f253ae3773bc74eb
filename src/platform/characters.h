// Narrow text in the process's code page, character by character: in a double-byte code page the
// second byte of a character may be any byte from 0x40 up, "\" and "|" among them.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Where the character after the one at `position` starts. A lead byte at the very end stands alone.
std::size_t NextCharacter(const std::string& text, std::size_t position);

// Start of the last single-byte character of `text` that is one of `characters`, or npos.
std::size_t FindLastOf(const std::string& text, const char* characters);

// Only ASCII letters fold: no byte of a multibyte code page other than an ASCII letter folds to
// one.
char FoldAsciiCase(char c);

} // namespace platform
