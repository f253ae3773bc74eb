#!/usr/bin/env bash
# Two builds of the same sources in two different folders give the same setup.exe, byte for byte,
# and its time stamp is SOURCE_DATE_EPOCH when that is set. Usage: reproducible_test.sh SOURCE WORK
set -euo pipefail
source=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
failures=0

build() { # build FOLDER: a copy of the sources, built with the program's own preset
    mkdir -p "$work/$1"
    tar -C "$source" --exclude=./build --exclude=./.git --exclude=./dist -cf - . | tar -C "$work/$1" -xf -
    (cd "$work/$1" && cmake --preset windows-x86 >/dev/null &&
        cmake --build --preset windows-x86 --target setup -j"$(nproc)" >/dev/null)
    echo "$work/$1/build/windows-x86/setup.exe"
}

stamp() { TZ=UTC i686-w64-mingw32-objdump -p "$1" | sed -n 's/^Time\/Date\s*//p'; }

unset SOURCE_DATE_EPOCH
first=$(build first)
second=$(build second-folder)
if cmp "$first" "$second"; then
    echo "ok   two folders, same bytes: $(sha256sum <"$first" | cut -d' ' -f1)"
else
    echo "FAIL two builds differ"
    failures=$((failures + 1))
fi
rm "$second"
(cd "$work/second-folder" &&
    SOURCE_DATE_EPOCH=1700000000 cmake --build --preset windows-x86 --target setup >/dev/null)
for check in "$(stamp "$first")|Mon Jul 14 00:00:00 2014" "$(stamp "$second")|Tue Nov 14 22:13:20 2023"; do
    if [ "${check%%|*}" = "${check#*|}" ]; then echo "ok   time stamp ${check#*|}"; else
        echo "FAIL time stamp ${check%%|*}, wanted ${check#*|}"
        failures=$((failures + 1))
    fi
done
[ "$failures" = 0 ]
