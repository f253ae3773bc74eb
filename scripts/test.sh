#!/usr/bin/env bash
# Configures, builds and runs every test: the unit tests natively and under ASan and UBSan, the
# fuzz targets for a bounded time, the static checks and the checks on the program itself, and
# the real setup.exe end to end under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/machine.sh

ensure_wine_machine
ensure_packages $PACKAGES_CHECKS $PACKAGES_RELEASE

jobs=$(nproc)
for preset in host host-asan fuzz windows-x86; do
    echo "== build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
done

echo "== format"
git ls-files -- '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror

echo "== static checks"
scripts/static-checks.sh

echo "== program"
scripts/check-binary.sh build/windows-x86/setup.exe

for preset in host host-asan fuzz windows-x86; do
    echo "== tests: $preset"
    ctest --preset "$preset" --no-tests=error
done
echo "== all tests passed"
