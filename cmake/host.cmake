# Native build: the portable code against the scripted fake platform, with its unit tests or
# its fuzz targets.
add_subdirectory(tests/fake)

if(WRAPPER_FUZZ)
  add_subdirectory(tests/fuzz)
  return()
endif()

find_package(GTest QUIET)
if(NOT GTest_FOUND AND EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

add_subdirectory(tests/unit)

# The set-up scripts' choice of package archive.
add_test(NAME archive_for_suite
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/archive_for_suite_test.sh)
# The set-up scripts go on where a package index cannot be fetched.
add_test(NAME apt_update COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/apt_update_test.sh)
