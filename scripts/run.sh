#!/bin/sh
# Builds SolvanePictova.exe (windows preset) and runs it under Wine: on the user's display when
# DISPLAY is set, otherwise on a virtual display, saving a screenshot after a few seconds.
# SP_BUILD_DIR picks another build tree, SP_SHOT_DELAY the seconds before the screenshot.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${SP_BUILD_DIR:-build/windows}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target SolvanePictova
exe=$(pwd)/$build/SolvanePictova.exe
if [ -n "${DISPLAY:-}" ]; then
    exec cmake/wine-run.sh "$exe"
fi
shot=$(pwd)/$build/screenshot.png
delay=${SP_SHOT_DELAY:-6}
# A Wine virtual desktop gives the window its frame where no window manager runs.
export WINEPREFIX="$(pwd)/$build/wineprefix-desktop"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    cmake/wine-run.sh --desktop "$1" &
    # The first start creates the Wine prefix; count the delay from when it is ready.
    while [ ! -f "$WINEPREFIX/.sp-ready" ]; do sleep 1; done
    sleep "$3"
    import -window root "$2"
    wineserver -k
' sh "$exe" "$shot" "$delay"
echo "Screenshot of the running program: $shot"
