#!/usr/bin/env bash
# With a notification area: the icon is there from the start; minimize hides the window; a
# left click on the icon brings it back and keeps the icon, a right click brings it back and
# removes it; the close image ends the program and takes the icon with it.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup
command -v trayer >/dev/null || e2e_fail "trayer is not installed"

trayer --edge top --align left --widthtype request --height 32 --SetDockType false --SetPartialStrut false \
    --transparent false >"$E2E_TMP/trayer.log" 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 xdotool search --name '^panel$' || e2e_fail "trayer did not start"
panel=$(xdotool search --name '^panel$' | head -n1)

e2e_start_program "$binary" "$E2E_TMP/app"
icon_shown() { xwininfo -tree -id "$panel" | grep -q '"Lurvane Brevicard"'; }
hidden() { ! e2e_visible; }
# The icon's own place inside the panel, in screen pixels.
click_icon() {
    local id X Y WIDTH HEIGHT SCREEN WINDOW
    id=$(xwininfo -tree -id "$panel" | grep '"Lurvane Brevicard"' | awk '{print $1}')
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click "$1"
}

e2e_wait 10 icon_shown || e2e_fail "no icon after start-up"

e2e_click $E2E_MINIMIZA
e2e_wait 10 hidden || e2e_fail "minimize did not hide the window"
icon_shown || e2e_fail "the icon went away on minimize"
click_icon 1
e2e_wait 10 e2e_visible || e2e_fail "a left click on the icon did not bring the window back"
icon_shown || e2e_fail "a left click removed the icon"

e2e_click $E2E_MINIMIZA
e2e_wait 10 hidden || e2e_fail "second minimize did not hide the window"
[ "$(xwininfo -tree -id "$panel" | grep -c '"Lurvane Brevicard"')" = 1 ] || e2e_fail "more than one icon"
click_icon 3
e2e_wait 10 e2e_visible || e2e_fail "a right click on the icon did not bring the window back"
e2e_wait 10 bash -c "! xwininfo -tree -id $panel | grep -q '\"Lurvane Brevicard\"'" \
    || e2e_fail "a right click left the icon"

# The next minimize adds it again; the close image then removes it and ends the program.
e2e_click $E2E_MINIMIZA
e2e_wait 10 icon_shown || e2e_fail "minimize after a right click added no icon"
click_icon 1
e2e_wait 10 e2e_visible || e2e_fail "the window did not come back"
e2e_click $E2E_FECHA
e2e_wait 10 bash -c "! kill -0 $E2E_APP_PID" || e2e_fail "the close image did not end the program"
status=0
wait "$E2E_APP_PID" || status=$?
[ "$status" = 0 ] || e2e_fail "the program ended with status $status"
icon_shown && e2e_fail "the icon outlived the program"
echo "e2e tray: ok"
