#!/bin/sh
# Runs a Windows executable under Wine with a prefix of its own inside the build tree.
# The build tree is found from the executable's location (its first ancestor with CMakeCache.txt).
exe="$1"
dir=$(cd "$(dirname "$exe")" && pwd)
while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
export WINEPREFIX="${WINEPREFIX:-$dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/.sp-ready" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.sp-ready" ]; then
            wineboot -i >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.sp-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
