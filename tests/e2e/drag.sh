#!/usr/bin/env bash
# The first drag right after start moves the window by exactly the pointer's travel: with no
# window manager, where the program moves it itself, and under openbox and icewm, which move it
# from where they believe it stands.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup

wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
for wm in none openbox icewm; do
    wm_pid=
    if [ "$wm" != none ]; then
        "$wm" >"$E2E_TMP/$wm.log" 2>&1 &
        wm_pid=$!
        E2E_PIDS+=("$wm_pid")
        e2e_wait 10 wm_ready || e2e_fail "$wm did not start: $(cat "$E2E_TMP/$wm.log")"
    fi
    e2e_start_program "$binary" "$E2E_TMP/$wm"
    read -r x y <<<"$(e2e_position)"
    e2e_drag -100 -75
    e2e_wait 10 e2e_at $((x - 100)) $((y - 75)) \
        || e2e_fail "with window manager $wm the first drag from $x,$y left the window at $(e2e_position)"
    echo "$wm: $x,$y -> $(e2e_position | tr ' ' ,)"
    kill "$E2E_APP_PID" $wm_pid
    wait "$E2E_APP_PID" $wm_pid 2>/dev/null || true
    xprop -root -remove _NET_SUPPORTING_WM_CHECK 2>/dev/null # a window manager that has gone leaves it behind
done
echo "e2e drag: ok"
