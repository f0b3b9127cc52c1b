#!/bin/sh
# Installs every build and test dependency from Debian packages. Idempotent.
set -eu
PKGS="cmake ninja-build g++ libgtest-dev googletest libbenchmark-dev \
g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xauth x11-utils \
imagemagick libimage-exiftool-perl zip fonts-noto-cjk clang-format"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
