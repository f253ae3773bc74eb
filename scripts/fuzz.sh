#!/usr/bin/env bash
# Runs one fuzz target for longer than the test run does. Usage: scripts/fuzz.sh TARGET SECONDS
# TARGET is one of: entry log_path registry commands. New inputs go to build/fuzz/fuzz-corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh
[ $# -eq 2 ] || { echo "usage: $0 TARGET SECONDS" >&2; exit 2; }
ensure_packages $PACKAGES_BUILD $PACKAGES_CHECKS
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target "fuzz_$1" >/dev/null
found=build/fuzz/fuzz-corpus/$1
mkdir -p "$found"
exec "build/fuzz/tests/fuzz/fuzz_$1" -max_total_time="$2" -print_final_stats=1 -max_len=4096 \
    "$found" "tests/fuzz/corpus/$1"
