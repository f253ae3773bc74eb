#!/usr/bin/env bash
# The program check must pass the real program and fail each kind of fault, made by patching a
# copy: a foreign import, a function Windows XP lacks, a foreign library named for loading, a changed manifest, too large a size.
# Usage: check_binary_test.sh CHECK SETUP_EXE WORK_DIR
set -euo pipefail
check=$1 exe=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
failures=0

expect() { # expect pass|fail NAME FILE
    local wanted=$1 name=$2 file=$3 got=pass
    "$check" "$file" >"$work/$name.out" 2>&1 || got=fail
    if [ "$got" = "$wanted" ]; then
        echo "ok   $name ($got)"
    else
        echo "FAIL $name: wanted $wanted, got $got"
        sed 's/^/     /' "$work/$name.out"
        failures=$((failures + 1))
    fi
}

# Same-length byte patches keep the file valid.
patched() { # patched NAME FROM TO
    LC_ALL=C sed "s/$2/$3/g" "$exe" >"$work/$1.exe"
    cmp -s "$exe" "$work/$1.exe" && { echo "FAIL $1: '$2' not found in the program"; exit 1; }
    echo "$work/$1.exe"
}

expect pass real_program "$exe"
expect fail foreign_import "$(patched foreign_import msvcrt.dll msvcrx.dll)"
expect fail import_that_xp_lacks "$(patched import_that_xp_lacks SetErrorMode GetErrorMode)"
expect fail foreign_library_loaded "$(patched foreign_library user32.dll evil32.dll)"
expect fail manifest_asks_for_more "$(patched manifest asInvoker highestAv)"
cp "$exe" "$work/large.exe" && head -c $((256 * 1024)) /dev/zero >>"$work/large.exe"
expect fail larger_than_256_KiB "$work/large.exe"
[ "$failures" = 0 ]
