#!/usr/bin/env bash
# Makes docs/screenshot.png again: the program under a private X server with the made-up
# contacts of tools/screenshot-contatos.txt, one of them selected, over a desktop background.
# Usage: tools/screenshot.sh [BUILD_FOLDER]   (default: build; the program is built first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target lurvane-brevicard >/dev/null
source "$root/tests/e2e/lib.sh"
e2e_setup

mkdir -p "$E2E_TMP/app"
cp "$root/tools/screenshot-contatos.txt" "$E2E_TMP/app/LBcontatos.txt"
e2e_start_program "$build/lurvane-brevicard" "$E2E_TMP/app"

# The first name in the list, then the pointer out of the way so that no hint shows.
xdotool mousemove --window "$E2E_WINDOW" --sync 60 36 click 1
xdotool mousemove --sync 10 10
sleep 0.5 # the fields fill in and the hover highlight fades
/usr/bin/import -window "$E2E_WINDOW" "$E2E_TMP/window.png"
# Xvfb's root window is bare black: the window goes, with a soft shadow, onto a desktop
# background. ImageMagick by full path: another convert may come first on the PATH.
mkdir -p "$root/docs"
/usr/bin/convert -size 600x340 gradient:'#7b9bb0'-'#2e4a5e' \
    \( "$E2E_TMP/window.png" \( +clone -background black -shadow 50x6+0+4 \) +swap \
    -background none -layers merge +repage \) -geometry +40+32 -composite "$root/docs/screenshot.png"
echo "docs/screenshot.png"
