#!/bin/sh
# A 12000 x 8000 colour photo end to end under Wine: load, Smart Contrast (open, recompute, OK), Solvane UP
# (39 tiles, preview, whole fusion) and Save As, through the real main window. Too slow for the test run.
# Prints the time of each step with the working set, and the peak resident memory of the whole run.
# SP_BUILD_DIR picks the build tree (default build/windows); SP_BIGPHOTO_SIZE another size, e.g. 6000x4000.
# Needs about 12 GB free disk for the tiles. Runs in a Wine virtual desktop: without a window manager Wine
# would add about two seconds to every window it destroys (the dialogs), which no user meets.
set -eu
cd "$(dirname "$0")/.."
build=${SP_BUILD_DIR:-build/windows}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2 --target win_robust_tests
root=$(pwd)
log=$root/$build/bigphoto-time.txt
cd "$build/tests/robust"
xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/time -v -o "$log" \
    "$root/cmake/wine-run.sh" --desktop ./win_robust_tests.exe --gtest_also_run_disabled_tests \
    --gtest_filter='BigPhoto.*' 2>&1 | grep --line-buffered -E '^\[bigphoto\]|OK \]|FAILED|Failure|Expected|Which is|FAULT|TIME BOUND'
echo "[bigphoto] peak resident memory of the run: $(awk -F': ' '/Maximum resident set size/ {printf "%d MB", $2 / 1024}' "$log")"
echo "[bigphoto] wall time of the run: $(awk -F'): ' '/Elapsed \(wall clock\)/ {print $2}' "$log")"
