// Narrow text in the process's code page, character by character: in a double-byte code page the
// second byte of a character may be any byte from 0x40 up, "\" and "|" among them.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Where the character after the one at `position` starts. A lead byte at the very end stands alone.
std::size_t NextCharacter(const std::string& text, std::size_t position);

// Start of the last single-byte character of `text` whose byte `matches`, or npos: the bytes of a
// double-byte character are never taken for characters of their own.
template <typename Matches>
std::size_t FindLastSingleByte(const std::string& text, Matches matches) {
    std::size_t found = std::string::npos;
    for (std::size_t i = 0, next = 0; i < text.size(); i = next) {
        next = NextCharacter(text, i);
        if (next == i + 1 && matches(static_cast<unsigned char>(text[i]))) {
            found = i;
        }
    }
    return found;
}

// Only ASCII letters fold: no byte of a multibyte code page other than an ASCII letter folds to
// one.
char FoldAsciiCase(char c);

} // namespace platform
