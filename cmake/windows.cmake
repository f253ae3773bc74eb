# The real program and the stand-ins the end-to-end tests run under Wine.
enable_language(RC)

if(NOT MSVC)
  # GNU ld takes the PE time stamp from SOURCE_DATE_EPOCH; the build is otherwise free of time and
  # place, so that it can be reproduced byte for byte.
  set(CMAKE_C_LINKER_LAUNCHER sh ${PROJECT_SOURCE_DIR}/cmake/link-with-epoch.sh)
  set(CMAKE_CXX_LINKER_LAUNCHER sh ${PROJECT_SOURCE_DIR}/cmake/link-with-epoch.sh)
  # Static C++ runtime so that only Windows' own DLLs are imported; unused sections are dropped
  # and the symbols stripped to keep the program small.
  set(WRAPPER_LINK_OPTIONS -static -s -Wl,--gc-sections)
endif()

# The Windows side of the platform seam, one file for each concern.
set(WIN32_PLATFORM_SOURCES
    ${PROJECT_SOURCE_DIR}/src/platform/win32/libraries.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/children.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/output.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/log_file.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/access.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/native_files.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/package_files.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/win32/system.cpp)

# The portable code the Windows side calls on, for the other programs built from that side.
set(WIN32_SIDE_PORTABLE_SOURCES
    ${PROJECT_SOURCE_DIR}/src/platform/bounded.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/characters.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/paths.cpp
    ${PROJECT_SOURCE_DIR}/src/record/run_options.cpp
    ${PROJECT_SOURCE_DIR}/src/report/report.cpp
    ${PROJECT_SOURCE_DIR}/src/trust/trust.cpp)

add_executable(setup src/app/main.cpp ${WIN32_PLATFORM_SOURCES} src/app/resources/setup.rc)
if(NOT MSVC)
  target_sources(setup PRIVATE src/platform/cxx_runtime.cpp)
endif()
target_link_libraries(setup PRIVATE wrapper_core)
target_link_options(setup PRIVATE ${WRAPPER_LINK_OPTIONS})

# The stand-ins, the Wine tests, the program check and the benchmark's floor need MinGW.
if(NOT MSVC)
  add_subdirectory(tests/standins)
  add_subdirectory(tests/e2e)
  add_subdirectory(tests/binary)
  add_subdirectory(bench)
  add_subdirectory(fieldcheck)
endif()
