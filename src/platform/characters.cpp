#include "platform/characters.h"

#include "platform/platform.h"

namespace platform {

// No double-byte code page has a second byte below 0x40: a lead byte before one stands alone, so
// that the byte after it ("\"", ":", "/", a control character) is still seen for what it is.
std::size_t NextCharacter(const std::string& text, std::size_t position) {
    const bool pair = IsLeadByte(text[position]) && position + 1 < text.size() &&
                      static_cast<unsigned char>(text[position + 1]) >= 0x40;
    return position + (pair ? 2 : 1);
}

std::size_t ConsolePieceEnd(const std::string& bytes, std::size_t start) {
    std::size_t end = start;
    while (end < bytes.size()) {
        const std::size_t next = NextCharacter(bytes, end);
        if (next - start > kConsolePieceSize) {
            break;
        }
        end = next;
    }
    return end;
}

std::string WithCrLf(const std::string& text) {
    std::string converted;
    converted.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    return converted;
}

char FoldAsciiCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace platform
