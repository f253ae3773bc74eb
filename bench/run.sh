#!/usr/bin/env bash
# Builds the real setup.exe and prints what it costs under Wine, each figure a median with its
# ratio against a floor measured in the same run. Takes about five minutes, most of it the waits
# the upgrade must make. Usage: bench/run.sh [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh

ensure_wine_machine
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j"$(nproc)" >/dev/null
exec python3 bench/bench.py --build build/windows-x86 --work build/bench "$@"
