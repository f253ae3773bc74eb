#!/usr/bin/env bash
# Builds the Lumenor releases the end-to-end tests install with Wine's own Windows Installer, from
# lumenor.wxs: lumenor-<release>.msi for 1.7.0.6, 1.7.0.7, 1.8.0.0 and 1.9, and
# lumenor-1.7.0.7-unremovable.msi, whose removal fails (1603) and is rolled back unless the
# property LUMENOR_ALLOW_REMOVAL is set. Needs wixl and msitools. Usage: build.sh <output folder>
set -euo pipefail
source=$(cd "$(dirname "$0")" && pwd)/lumenor.wxs
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

for release in 1.7.0.6 1.7.0.7 1.8.0.0 1.9; do
    echo "$release" >release.txt
    # wixl takes file sources relative to the current folder.
    wixl -D Version="$release" -D Release=release.txt -o "$out/lumenor-$release.msi" "$source"
done

# wixl cannot write an error custom action: added to the tables of a copy.
mkdir tables
msidump -t -d tables "$out/lumenor-1.7.0.7.msi" >/dev/null
printf 'FailRemoval\t19\t\tThis release cannot be removed\t\n' >>tables/CustomAction.idt
printf 'FailRemoval\tREMOVE="ALL" AND NOT LUMENOR_ALLOW_REMOVAL\t3450\n' \
    >>tables/InstallExecuteSequence.idt
cp "$out/lumenor-1.7.0.7.msi" "$out/lumenor-1.7.0.7-unremovable.msi"
msibuild "$out/lumenor-1.7.0.7-unremovable.msi" -i tables/CustomAction.idt \
    tables/InstallExecuteSequence.idt
