#!/usr/bin/env bash
# Builds setup.exe and runs it under Wine on a demo machine: the usage text, a refusal with its
# log, and a whole silent upgrade. --quick shows a fresh installation instead of the upgrade.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh

build_program_for_wine
exec python3 scripts/demo.py "$@"
