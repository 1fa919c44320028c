#!/usr/bin/env bash
# Without a notification area minimize leaves the window reachable; the strip drags the
# window, by the program itself without a window manager and by openbox with one.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup
e2e_start_program "$binary" "$E2E_TMP/app"
e2e_drag -100 -50
e2e_wait 10 e2e_at 414 428 || e2e_fail "without a window manager the drag left it at $(e2e_position)"
e2e_click $E2E_MINIMIZA
sleep 0.3 # nothing can iconify it without a window manager: it must stay on screen
e2e_visible || e2e_fail "minimize without a notification area or window manager hid the window"

e2e_bg openbox --sm-disable
wm_state() { xprop -id "$E2E_WINDOW" WM_STATE | grep -q "$1"; }
e2e_wait 10 wm_state Normal || e2e_fail "openbox did not take the window"
e2e_drag -120 -60 # clear of the screen edges, where openbox would snap
e2e_wait 10 e2e_at 294 368 || e2e_fail "under openbox the drag left it at $(e2e_position)"
e2e_click $E2E_MINIMIZA
e2e_wait 10 wm_state Iconic || e2e_fail "minimize did not iconify"
xdotool windowactivate "$E2E_WINDOW"
e2e_wait 10 e2e_visible || e2e_fail "the minimized window could not be brought back"
echo "e2e chrome: ok"
