#!/bin/sh
# Installs what is missing, builds all three configurations and runs every test:
# native (plain and under ASan + UBSan) and Windows (under Wine on a virtual display).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
echo "=== formatting"
./scripts/check-format.sh
jobs=$(nproc)
for preset in linux linux-asan windows; do
    echo "=== $preset: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
echo "=== linux: tests"
ctest --preset linux -j "$jobs"
echo "=== linux-asan: tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan -j "$jobs"
echo "=== windows: tests under Wine"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows -j "$jobs"
echo "=== all tests passed"
