#!/usr/bin/env bash
# The built program starts from a folder of its own, creates the empty store beside itself
# and stands in the lower right corner of the screen, above a panel when there is one.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
e2e_setup

folder="$E2E_TMP/app"
e2e_start_program "$binary" "$folder"
e2e_wait 10 e2e_file_is "$folder/LBcontatos.txt" 220d0a220d0a \
    || e2e_fail "LBcontatos.txt is not the empty store: $(od -An -tx1 "$folder/LBcontatos.txt" 2>&1)"

geometry=$(xdotool getwindowgeometry --shell "$E2E_WINDOW")
eval "$geometry"
# 1024 x 768 screen: left 1024 - (504 + 6), top 768 - (255 + 35.3), rounded.
[ "$WIDTH" = 504 ] && [ "$HEIGHT" = 255 ] || e2e_fail "window is ${WIDTH}x${HEIGHT}"
[ "$X" = 514 ] && [ "$Y" = 478 ] || e2e_fail "window stands at $X,$Y"

# A 40-pixel panel at the bottom, which the window manager takes off the free area (started
# while the program still runs: an X server left without clients resets itself).
e2e_bg openbox --sm-disable
e2e_bg trayer --edge bottom --height 40 --SetDockType true --SetPartialStrut true --transparent false
free_area() { xprop -root _NET_WORKAREA | grep -q '= 0, 0, 1024, 728'; }
e2e_wait 10 free_area || e2e_fail "no panel: $(xprop -root _NET_WORKAREA)"

# An existing store is read, never rewritten, at start-up; the window stands above the panel.
kill "$E2E_APP_PID"
wait "$E2E_APP_PID" 2>/dev/null || true
printf '"Zeca\xa71\xa7\xa7\xa7\xa705/12/2026\r\nana\xa7\xa7\xa7\xa7\xa706/12/2026\r\n\r\n"\r\n' >"$folder/LBcontatos.txt"
before=$(e2e_hex <"$folder/LBcontatos.txt")
e2e_start_program "$binary" "$folder"
e2e_file_is "$folder/LBcontatos.txt" "$before" || e2e_fail "start-up changed an existing store"
eval "$(xdotool getwindowgeometry --shell "$E2E_WINDOW")"
[ "$X" = 514 ] && [ "$Y" = 438 ] || e2e_fail "above the panel the window stands at $X,$Y"
echo "e2e startup: ok"
