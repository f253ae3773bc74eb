// What the wrapper writes on the console.
#include <cstddef>
#include <string>

#include "platform/characters.h"
#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform {

// The finished bytes in few writes: the C runtime's text mode hands each line to the system by
// itself, which under Wine costs more than the rest of a usage run. The bytes are the same.
void WriteToConsole(const std::string& text) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(output, &mode) != FALSE;
    WriteInPieces(WithCrLf(text), console,
                  [output](const char* bytes, std::size_t size, std::size_t* written) {
                      DWORD count = 0;
                      const bool ok = WriteFile(output, bytes, static_cast<DWORD>(size), &count,
                                                nullptr) != FALSE;
                      *written = count;
                      return ok;
                  });
}

} // namespace platform
