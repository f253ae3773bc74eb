#!/usr/bin/env bash
# Builds setup.exe and runs it under Wine on a demo machine: the usage text, a refusal with its
# log, and a whole silent upgrade. --quick shows a fresh installation instead of the upgrade.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh

ensure_wine_machine
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j"$(nproc)" >/dev/null
exec python3 scripts/demo.py "$@"
