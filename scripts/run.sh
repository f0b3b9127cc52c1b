#!/bin/sh
# Builds SolvanePictova.exe (windows preset) and runs it under Wine: on the user's display when
# DISPLAY is set, otherwise on a virtual display, saving a screenshot after a few seconds.
# SP_BUILD_DIR picks another build tree, SP_SHOT_DELAY the seconds before the screenshot.
# An argument names a picture to open, as Explorer's "Open with" would: scripts/run.sh photo.jpg
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${SP_BUILD_DIR:-build/windows}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target SolvanePictova
exe=$(pwd)/$build/SolvanePictova.exe
picture=""
[ $# -ge 1 ] && picture=$(realpath "$1")
if [ -n "${DISPLAY:-}" ]; then
    [ -n "$picture" ] && exec cmake/wine-run.sh "$exe" "$(winepath -w "$picture" 2>/dev/null)"
    exec cmake/wine-run.sh "$exe"
fi
shot=$(pwd)/$build/screenshot.png
delay=${SP_SHOT_DELAY:-6}
# A Wine virtual desktop gives the window its frame where no window manager runs.
export WINEPREFIX="$(pwd)/$build/wineprefix-desktop"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    if [ -n "$4" ]; then
        # The first start creates the Wine prefix; the picture is named the Windows way.
        cmake/wine-run.sh --desktop cmd /c exit >/dev/null 2>&1
        cmake/wine-run.sh --desktop "$1" "$(winepath -w "$4" 2>/dev/null)" &
    else
        cmake/wine-run.sh --desktop "$1" &
    fi
    # Count the delay from when the prefix is ready.
    while [ ! -f "$WINEPREFIX/.sp-ready-2" ]; do sleep 1; done
    sleep "$3"
    import -window root "$2"
    wineserver -k
' sh "$exe" "$shot" "$delay" "$picture"
echo "Screenshot of the running program: $shot"
