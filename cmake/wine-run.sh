#!/bin/sh
# Runs a Windows executable under Wine with a prefix of its own inside the build tree.
# The build tree is found from the executable's location (its first ancestor with CMakeCache.txt).
# With --desktop first, the program runs in a Wine virtual desktop (a prefix of its own): the tests
# use it, because without a window manager Wine waits about two seconds on every window it destroys.
# --desktop=WIDTHxHEIGHT[@DPI]: a virtual desktop of that size (and screen DPI), in a prefix of its own.
desktop=""
size=1280x1024
case "${1:-}" in
    --desktop) desktop=1; shift ;;
    --desktop=*) desktop=1; size="${1#--desktop=}"; shift ;;
esac
dpi=""
case "$size" in
    *@*) dpi="${size#*@}"; size="${size%@*}" ;;
esac
exe="$1"
dir=$(cd "$(dirname "$exe")" && pwd)
while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
if [ -n "$desktop" ]; then
    if [ "$size" = 1280x1024 ] && [ -z "$dpi" ]; then
        export WINEPREFIX="${WINEPREFIX:-$dir/wineprefix-desktop}"
    else
        export WINEPREFIX="${WINEPREFIX:-$dir/wineprefix-desktop-$size${dpi:+-$dpi}}"
    fi
else
    export WINEPREFIX="${WINEPREFIX:-$dir/wineprefix}"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/.sp-ready-2" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.sp-ready-2" ]; then
            wineboot -i >/dev/null 2>&1
            # A crash must end the test at once, not wait in the debugger's dialog.
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f >/dev/null 2>&1
            # Japanese, Chinese and Korean texts: the dialog font links to these faces on Windows; here
            # they are Debian's Noto CJK fonts.
            for pair in "MS UI Gothic=Noto Sans CJK JP" "SimSun=Noto Sans CJK SC" "Gulim=Noto Sans CJK KR" \
                        "PMingLiU=Noto Sans CJK TC"; do
                wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1
            done
            if [ -n "$dpi" ]; then
                wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
            fi
            if [ -n "$desktop" ]; then
                wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
                wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1
            fi
            wineserver -w
            touch "$WINEPREFIX/.sp-ready-2"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# A client that starts while the prefix's server is on its way out (it leaves a few seconds after its last client)
# is cut off before it runs anything ("wine client error: ... Connection reset by peer"). Such a start is tried
# again; anything else the program says or returns is passed on as it is.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
for attempt in 1 2 3; do
    wine "$@" 2>"$errors"
    status=$?
    cat "$errors" >&2
    if [ $status -eq 0 ] || ! grep -q '^wine client error' "$errors"; then
        exit $status
    fi
    sleep 2
done
exit $status
