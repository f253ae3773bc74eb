# Native build: the portable code against the scripted fake platform, with its unit tests.
option(WRAPPER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(WRAPPER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest QUIET)
if(NOT GTest_FOUND AND EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

add_subdirectory(tests/unit)
