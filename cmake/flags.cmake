# Compiler flags for every target; included before any target exists so that they all get them.
if(MSVC)
  add_compile_options(/W4)
else()
  add_compile_options(-Wall -Wextra -Wpedantic)
endif()

if(WIN32 AND NOT MSVC)
  # Sections are trimmed at link time to keep the program small. Without exceptions the C++
  # library's unwinder stays out (src/platform/cxx_runtime.cpp), and with its assertions the string
  # code is compiled here, bounds checks included, instead of linked from the library.
  # Nothing unwinds a stack either, so the unwind tables would be dead weight. Optimised whole at
  # link time, the program is a fifth smaller.
  add_compile_options(-flto -ffunction-sections -fdata-sections
                      "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions;-fno-rtti;-D_GLIBCXX_ASSERTIONS>"
                      "$<$<COMPILE_LANGUAGE:CXX>:-include;${PROJECT_SOURCE_DIR}/src/platform/quiet_assertions.h>"
                      "$<$<COMPILE_LANGUAGE:CXX>:-fno-asynchronous-unwind-tables>")
  add_link_options(-flto "$<$<CONFIG:MinSizeRel>:-Os>")
endif()

if(NOT WIN32)
  option(WRAPPER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
  option(WRAPPER_FUZZ "Build the libFuzzer targets (clang) instead of the unit tests" OFF)
  if(WRAPPER_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(WRAPPER_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()
