#!/usr/bin/env bash
# Started again on the same contacts file, the program brings the running copy's window back
# from the tray and ends at once; a copy in another folder runs on its own; a killed copy
# leaves nothing that stops the next start.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup
e2e_tray

folder="$E2E_TMP/app"
e2e_start_program "$binary" "$folder"
first=$E2E_APP_PID first_window=$E2E_WINDOW
e2e_click $E2E_MINIMIZA
e2e_wait 10 e2e_hidden || e2e_fail "minimize did not hide the window"

start_again() {
    local status=0
    (cd "$folder" && timeout -s KILL 2 ./lurvane-brevicard) || status=$?
    [ "$status" = 0 ] || e2e_fail "$1 ended with status $status (137: still running after 2 s)"
}
start_again "the second start"
e2e_wait 10 e2e_visible || e2e_fail "the second start did not bring the first window back"
kill -0 "$first" || e2e_fail "the first copy is gone"

# Another portable folder, another store: that copy shows its own window beside the first.
e2e_start_program "$binary" "$E2E_TMP/other"
kill "$E2E_APP_PID"
E2E_WINDOW=$first_window
e2e_visible || e2e_fail "the copy in another folder hid the first window"

kill -9 "$first"
wait "$first" 2>/dev/null || true
e2e_start_program "$binary" "$folder"
start_again "a start after the killed copy's successor" # that one listens in its place
echo "e2e single: ok"
