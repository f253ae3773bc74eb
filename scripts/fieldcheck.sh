#!/usr/bin/env bash
# Builds the field check and lays out what to copy to a Windows 7 machine: dist/fieldcheck/ and
# dist/fieldcheck.zip (fieldcheck.exe, setup.exe, the stand-ins, canaries, test packages and a
# README.txt saying how to run it and what to send back).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh

build_program_for_wine
python3 scripts/lib/fieldcheck_folder.py build/windows-x86 dist/fieldcheck
(cd dist && rm -f fieldcheck.zip && python3 -m zipfile -c fieldcheck.zip fieldcheck)
echo "dist/fieldcheck/ and dist/fieldcheck.zip: copy either to the machine, then see README.txt"
