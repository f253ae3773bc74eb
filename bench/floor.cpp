// The benchmark's floors, built like setup.exe.
//   floor.exe                  does nothing: the cost of starting and ending a program;
//   floor.exe COMMAND...       runs each command through the interpreter and waits for it: the
//                              children alone, started as the wrapper starts them;
//   floor.exe --pipe COMMAND   also reads the command's output through a pipe, in the largest
//                              pieces, and discards it: what the pipe costs by itself.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPieceSize = 1 << 20;

int ReadThroughPipe(const char* command) {
    char* piece = static_cast<char*>(std::malloc(kPieceSize));
    FILE* pipe = _popen(command, "rb"); // NOLINT(cert-env33-c): the benchmark's own command
    if (piece == nullptr || pipe == nullptr) {
        return 1;
    }
    while (std::fread(piece, 1, kPieceSize, pipe) > 0) {
    }
    std::free(piece);
    return _pclose(pipe) == -1 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--pipe") == 0) {
        return ReadThroughPipe(argv[2]);
    }
    for (int i = 1; i < argc; ++i) {
        (void)std::system(argv[i]); // NOLINT(cert-env33-c): the benchmark's own commands
    }
    return 0;
}
