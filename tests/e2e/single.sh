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
# A start that only hands over reads nothing: not even a store that would keep it waiting (a
# pipe nobody writes into).
mv "$folder/LBcontatos.txt" "$folder/kept" && mkfifo "$folder/LBcontatos.txt"
start_again "a second start on a store that cannot be read yet"
rm "$folder/LBcontatos.txt" && mv "$folder/kept" "$folder/LBcontatos.txt"

# Another portable folder, another store: that copy shows its own window beside the first.
e2e_start_program "$binary" "$E2E_TMP/other"
kill "$E2E_APP_PID"
E2E_WINDOW=$first_window
e2e_visible || e2e_fail "the copy in another folder hid the first window"

kill -9 "$first"
wait "$first" 2>/dev/null || true
e2e_start_program "$binary" "$folder"
start_again "a start after the killed copy's successor" # that one listens in its place

# Another local user cannot keep the program from starting: not by listening first under every
# name in the shared temporary folder it might use (its runtime folder unset, or another user's),
# nor on its socket in the user's own runtime folder. Each start then runs a copy of its own.
[ "$(id -u)" -eq 0 ] || { echo "e2e single: ok (the cases of another user need root)" && exit 0; }
chmod 0755 "$E2E_TMP"
tmp="$E2E_TMP/tmp" theirs="$E2E_TMP/theirs" mine="$E2E_TMP/mine"
mkdir -m 1777 "$tmp" && mkdir -m 0777 "$theirs" && mkdir -m 0700 "$mine"
key=$(printf '%s' "$(realpath "$folder")/LBcontatos.txt" | sha256sum | cut -c1-16)
# The checkout may sit in a folder nobody cannot enter (root's home): the listener goes along.
cp "$(dirname "$0")/silent_listener.py" "$E2E_TMP/" && chmod 0644 "$E2E_TMP/silent_listener.py"
setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3 "$E2E_TMP/silent_listener.py" \
    "$theirs/log" "$tmp/runtime-$(id -un)/lurvane-brevicard-$key" "$tmp/lurvane-brevicard-$(id -u)-$key" \
    "$tmp/lurvane-brevicard-$(id -u)/lurvane-brevicard-$key" "$theirs/lurvane-brevicard-$key" "$theirs/moved" &
E2E_PIDS+=($!)
e2e_wait 10 test -s "$theirs/log" || e2e_fail "the other user's listener did not start"
mv "$theirs/moved" "$mine/lurvane-brevicard-$key"
for runtime in "" "$theirs" "$mine"; do
    (cd "$folder" && exec env TMPDIR="$tmp" XDG_RUNTIME_DIR="$runtime" ./lurvane-brevicard) >"$folder/app.log" 2>&1 &
    e2e_await_window $! "$folder/app.log"
    kill "$E2E_APP_PID" && wait "$E2E_APP_PID" 2>/dev/null || true
done
echo "e2e single: ok"
