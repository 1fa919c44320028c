#!/usr/bin/env bash
# With a notification area: icon from the start; minimize hides; a left click on the icon
# restores and keeps it, a right click restores and removes it; closing ends the program.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup
e2e_tray
e2e_start_program "$binary" "$E2E_TMP/app"

icons() { xwininfo -tree -id "$E2E_PANEL" | grep -c '"Lurvane Brevicard"' || true; }
icon_shown() { [ "$(icons)" = 1 ]; }
no_icon() { [ "$(icons)" = 0 ]; }
click_icon() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$(xwininfo -tree -id "$E2E_PANEL" | awk '/"Lurvane Brevicard"/ {print $1}')")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click "$1"
}

e2e_wait 10 icon_shown || e2e_fail "no icon after start-up"
for button in 1 3; do
    e2e_click $E2E_MINIMIZA
    e2e_wait 10 e2e_hidden || e2e_fail "minimize did not hide the window"
    icon_shown || e2e_fail "not exactly one icon while hidden"
    click_icon $button
    e2e_wait 10 e2e_visible || e2e_fail "button $button on the icon did not restore the window"
done
e2e_wait 10 no_icon || e2e_fail "a right click left the icon"
e2e_click $E2E_MINIMIZA
e2e_wait 10 icon_shown || e2e_fail "minimize after a right click added no icon"
click_icon 1
e2e_wait 10 e2e_visible || e2e_fail "the window did not come back"
e2e_click $E2E_FECHA
e2e_wait 10 bash -c "! kill -0 $E2E_APP_PID" || e2e_fail "the close image did not end the program"
wait "$E2E_APP_PID" || e2e_fail "the program ended with status $?"
no_icon || e2e_fail "the icon outlived the program"
echo "e2e tray: ok"
