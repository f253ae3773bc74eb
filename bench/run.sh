#!/usr/bin/env bash
# Builds the real setup.exe and prints what it costs under Wine, each figure a median with its
# ratio against a floor measured in the same run. Takes about five minutes, most of it the waits
# the upgrade must make. Usage: bench/run.sh [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh

build_program_for_wine
exec python3 bench/bench.py --build build/windows-x86 --work build/bench "$@"
