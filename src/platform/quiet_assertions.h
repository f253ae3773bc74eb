// Force-included in the Windows build. The C++ library's bounds checks stay on, but where one
// fails the run ends through src/platform/cxx_runtime.cpp, which reads none of the file, line,
// function and condition the library would pass it: without them each file that uses a string
// no longer carries its own copies of those texts, some 2 KB in all.
#pragma once

#include <bits/c++config.h>

#if defined(__GLIBCXX__) && defined(_GLIBCXX_ASSERTIONS)
#undef __glibcxx_assert_impl
#define __glibcxx_assert_impl(_Condition)                                                          \
    if (__builtin_expect(!bool(_Condition), false)) {                                              \
        std::__glibcxx_assert_fail(nullptr, 0, nullptr, nullptr);                                  \
    }
#endif
