#include "platform/paths.h"

#include "platform/characters.h"

namespace platform {

std::vector<std::size_t> Separators(const std::string& path, Spelling spelling) {
    std::vector<std::size_t> found;
    if (spelling == Spelling::Utf8) {
        for (std::size_t at = path.find('\\'); at != std::string::npos;
             at = path.find('\\', at + 1)) {
            found.push_back(at);
        }
        return found;
    }
    ForEachSingleByte(
        path, [](unsigned char c) { return c == '\\'; },
        [&found](std::size_t position) { found.push_back(position); });
    return found;
}

std::size_t RootLength(const std::string& path, Spelling spelling) {
    const char* text = path.c_str(); // read up to its terminator
    const char letter = static_cast<char>(text[0] | 0x20);
    if (letter >= 'a' && letter <= 'z' && text[1] == ':' && text[2] == '\\') {
        return 3;
    }
    const std::vector<std::size_t> separators = Separators(path, spelling);
    const bool share = separators.size() >= 4 && separators[0] == 0 && separators[1] == 1;
    return share ? separators[3] + 1 : 0;
}

} // namespace platform
