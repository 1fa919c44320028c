# Shared pieces of the real-desktop suite: a private X server on a free display, the program
# started from a folder of its own, polling instead of sleeping, and clean-up by process id.
# Source it, then call e2e_setup.

set -euo pipefail

E2E_PIDS=()
E2E_TMP=""

e2e_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

e2e_cleanup() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    [ -n "$E2E_TMP" ] && rm -rf "$E2E_TMP"
}

# e2e_setup: a temporary home, runtime folder and X server on a free display.
e2e_setup() {
    for tool in Xvfb xdotool; do
        command -v "$tool" >/dev/null || e2e_fail "$tool is not installed"
    done
    E2E_TMP=$(mktemp -d)
    trap e2e_cleanup EXIT
    mkdir -m 0700 "$E2E_TMP/runtime" "$E2E_TMP/home"
    export XDG_RUNTIME_DIR="$E2E_TMP/runtime" HOME="$E2E_TMP/home" QT_QPA_PLATFORM=xcb
    unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY || true

    # -displayfd picks a free display and writes its number once the server is ready; -noreset
    # keeps it from starting over, refusing connections meanwhile, whenever its last client ends.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$E2E_TMP/display" 2>"$E2E_TMP/xvfb.log" &
    E2E_PIDS+=($!)
    e2e_wait 10 test -s "$E2E_TMP/display" || e2e_fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$E2E_TMP/display")"
}

# e2e_wait SECONDS COMMAND...: run COMMAND until it succeeds or the time is up.
e2e_wait() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# e2e_start_program BINARY FOLDER: copies the program into FOLDER, starts it there, and sets
# E2E_APP_PID and E2E_WINDOW once its window is visible.
e2e_start_program() {
    local binary=$1 folder=$2
    mkdir -p "$folder"
    cp "$binary" "$folder/lurvane-brevicard"
    (cd "$folder" && exec ./lurvane-brevicard) >"$folder/app.log" 2>&1 &
    e2e_await_window $! "$folder/app.log"
}

# e2e_await_window PID LOG: the program started as PID shows its window; sets E2E_APP_PID and
# E2E_WINDOW, or shows LOG and fails.
# The program on a new, empty store in $E2E_TMP/app ($folder, $store), its window focused.
e2e_start_empty() {
    folder="$E2E_TMP/app"
    store="$folder/LBcontatos.txt"
    e2e_start_program "$1" "$folder"
    e2e_wait 10 e2e_file_is "$store" 220d0a220d0a || e2e_fail "no empty store at start"
    xdotool windowfocus --sync "$E2E_WINDOW"
}

e2e_await_window() {
    E2E_APP_PID=$1
    E2E_PIDS+=("$E2E_APP_PID")
    e2e_wait 20 e2e_windows || { cat "$2" >&2; e2e_fail "the window did not appear"; }
    E2E_WINDOW=$(e2e_windows | head -n1)
}

# e2e_bg COMMAND...: runs COMMAND in the background, quietly, until the test ends.
e2e_bg() {
    "$@" >/dev/null 2>&1 &
    E2E_PIDS+=($!)
}

# e2e_tray: a notification area along the top of the screen; sets E2E_PANEL.
e2e_tray() {
    e2e_bg trayer --edge top --align left --widthtype request --height 32 --SetDockType false \
        --SetPartialStrut false --transparent false
    e2e_wait 10 xdotool search --name '^panel$' || e2e_fail "trayer did not start"
    E2E_PANEL=$(xdotool search --name '^panel$' | head -n1)
}

# e2e_windows: the program's visible windows, the main one first, then a notice or question over it.
e2e_windows() { xdotool search --onlyvisible --pid "$E2E_APP_PID" --name '^Lurvane Brevicard$' 2>/dev/null; }

# e2e_file_is FILE HEX: the file's bytes, as hex, are exactly HEX.
e2e_file_is() { [ -f "$1" ] && [ "$(e2e_hex <"$1")" = "$2" ]; }
e2e_hex() { od -An -v -tx1 | tr -d ' \n'; }
# e2e_cp1252 TEXT: TEXT in the store's code page.
e2e_cp1252() { printf '%s' "$1" | iconv -f UTF-8 -t WINDOWS-1252; }
# e2e_store_becomes FILE TEXT STEP: within ten seconds FILE holds exactly TEXT in the store's code page.
e2e_store_becomes() {
    e2e_wait 10 e2e_file_is "$1" "$(e2e_cp1252 "$2" | e2e_hex)" || e2e_fail "after $3 the store is $(od -An -c "$1")"
}
