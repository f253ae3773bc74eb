// Narrow text in the process's code page, character by character: in a double-byte code page the
// second byte of a character may be any byte from 0x40 up, "\" and "|" among them.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Where the character after the one at `position` starts. A lead byte at the very end stands alone.
std::size_t NextCharacter(const std::string& text, std::size_t position);

// Calls `visit(position)` for the start of each single-byte character of `text` whose byte
// `matches`: the bytes of a double-byte character are never taken for characters of their own.
template <typename Matches, typename Visit>
void ForEachSingleByte(const std::string& text, Matches matches, Visit visit) {
    for (std::size_t i = 0, next = 0; i < text.size(); i = next) {
        next = NextCharacter(text, i);
        if (next == i + 1 && matches(static_cast<unsigned char>(text[i]))) {
            visit(i);
        }
    }
}

// Start of the last single-byte character of `text` whose byte `matches`, or npos.
template <typename Matches>
std::size_t FindLastSingleByte(const std::string& text, Matches matches) {
    std::size_t found = std::string::npos;
    ForEachSingleByte(text, matches, [&found](std::size_t position) { found = position; });
    return found;
}

// A Windows 7 console can refuse one write of some 30 KB outright [windows.md: console-piece].
constexpr std::size_t kConsolePieceSize = std::size_t{8} * 1024;

// The end of the next console piece from `start`: whole characters, so that a console never
// receives half of a double-byte one.
std::size_t ConsolePieceEnd(const std::string& bytes, std::size_t start);

// Writes `bytes` in console pieces, each continued until written. `write(data, size, &written)` is
// one write, false when it failed. A console in code page 65001 on Windows 7 reports the
// characters written rather than the bytes, so a write that a console took counts as its whole
// piece; only files and pipes report bytes that can be trusted [windows.md: console-count-65001].
template <typename Write> void WriteInPieces(const std::string& bytes, bool console, Write write) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t end = ConsolePieceEnd(bytes, done);
        std::size_t written = 0;
        // Nowhere to report output that cannot be written.
        if (!write(bytes.data() + done, end - done, &written) || written == 0) {
            return;
        }
        done = console ? end : done + written;
    }
}

// Text with each line feed preceded by a carriage return, as the C runtime's text mode writes it.
std::string WithCrLf(const std::string& text);

// Only ASCII letters fold: no byte of a multibyte code page other than an ASCII letter folds to
// one.
char FoldAsciiCase(char c);

} // namespace platform
