// What the C++ library needs from the program when it is built without exceptions (MinGW).
//
// The library's own versions of these throw, and throwing drags in the unwinder, the exception
// classes, thread-local storage and a demangler: nine tenths of the program. None of them can
// happen in a sound run (out of memory, a string longer than the address space, an index out of
// bounds), so each ends the process at once with the code of a run that could not be carried out,
// rather than the abort code 3, which callers would read as a refused operating system.
#include <cstddef>
#include <cstdlib>
#include <new>

#include "platform/platform.h"

#if defined(__GLIBCXX__) && !defined(__EXCEPTIONS)

namespace {

constexpr int kRunNotCarriedOut = 5;

[[noreturn]] void FailRun() {
    platform::EndProcess(kRunNotCarriedOut);
}

} // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        FailRun();
    }
    return block;
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}

// The library's internal hooks, called where it would throw or where an assertion fails.
namespace std {

void __throw_bad_alloc() {
    FailRun();
}
void __throw_bad_array_new_length() {
    FailRun();
}
void __throw_length_error(const char* /*what*/) {
    FailRun();
}
void __throw_logic_error(const char* /*what*/) {
    FailRun();
}
void __throw_out_of_range_fmt(const char* /*format*/, ...) {
    FailRun();
}
void __glibcxx_assert_fail(const char* /*file*/, int /*line*/, const char* /*function*/,
                           const char* /*condition*/) noexcept {
    FailRun();
}

} // namespace std

#endif
