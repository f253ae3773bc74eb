#!/usr/bin/env bash
# Static checks on the product code: clang-tidy with the repository's .clang-tidy (the portable
# code against the host build, the Windows seam against the MinGW build and its headers), and no
# unbounded C string functions anywhere in src/. Needs both builds configured.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

banned=$(git grep -n -E '\b(strcpy|strcat|sprintf|vsprintf|gets)\s*\(' -- src || true)
if [ -n "$banned" ]; then
    echo "FAIL: unbounded C string functions in the product:" >&2
    echo "$banned" >&2
    status=1
fi

tidy() {
    local output
    output=$(clang-tidy --quiet "$@" 2>&1) || status=1
    grep -v 'warnings generated' <<<"$output" || true
}

portable=$(git ls-files 'src/*.cpp' | grep -v -e '^src/platform/win32/' -e '^src/app/main.cpp$')
tidy -p build/host $portable

# clang reads the MinGW build's commands, with GCC's own header folders for that target.
windows_args=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc --extra-arg=-nostdinc++)
for folder in $(i686-w64-mingw32-g++-posix -E -x c++ - -v </dev/null 2>&1 |
    sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '^ '); do
    windows_args+=("--extra-arg=-isystem$folder")
done
tidy -p build/windows-x86 "${windows_args[@]}" $(git ls-files 'src/platform/win32/*.cpp') src/app/main.cpp

[ "$status" = 0 ] && echo "static checks: clean"
exit $status
