#!/usr/bin/env bash
# Start-up of the real program, from its process starting to its window being mapped and
# viewable, with no contacts file (the empty store is created at start) and with a large one.
#
# usage: bench/startup.sh BUILD_DIR
#
# Needs Xvfb; the program is BUILD_DIR/lurvane-brevicard and the store generator
# BUILD_DIR/bench/bench_store. The window is waited for by BUILD_DIR/bench/bench_mapwait (the
# X server's MapNotify) when it was built, otherwise by polling xdotool in a tight loop.
# Environment:
#   RUNS=9                      measured runs per case (after one warm-up run each, not counted)
#   CONTACTS=100000             size of the large store
#   TIMEOUT_MS=30000            a run whose window has not appeared by then fails
#   LB_APP=PATH                 another executable to time instead (same title, same file)
#   POLL=1                      poll xdotool even when bench_mapwait is there (cross-check)
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
app=${LB_APP:-$build/lurvane-brevicard}
generator="$build/bench/bench_store"
mapwait="$build/bench/bench_mapwait"
runs=${RUNS:-9}
contacts=${CONTACTS:-100000}
timeout_ms=${TIMEOUT_MS:-30000}
title="Lurvane Brevicard"
exe_name=lurvane-brevicard

for need in "$app" "$generator"; do
    if [ ! -x "$need" ]; then
        echo "startup.sh: $need is not built" >&2
        exit 2
    fi
done
command -v Xvfb >/dev/null || { echo "startup.sh: Xvfb is not installed" >&2; exit 2; }
if [ ! -x "$mapwait" ] || [ "${POLL:-0}" = 1 ]; then
    command -v xdotool >/dev/null || { echo "startup.sh: needs bench_mapwait or xdotool" >&2; exit 2; }
    mapwait=""
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/lb-startup.XXXXXX")
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Our own X server, on whichever display number is free.
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "startup.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"

# A session of its own: nothing from the desktop this is run from.
mkdir -m 0700 "$work/runtime"
mkdir "$work/home"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" QT_QPA_PLATFORM=xcb
unset DBUS_SESSION_BUS_ADDRESS XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME WAYLAND_DISPLAY \
    SESSION_MANAGER

# The program reads LBcontatos.txt beside its executable: one folder per case.
mkdir "$work/empty" "$work/full"
cp "$app" "$work/empty/$exe_name"
cp "$app" "$work/full/$exe_name"
"$generator" --generate "$contacts" "$work/store.txt"
store_bytes=$(stat -c %s "$work/store.txt")

# Prints the milliseconds from start to shown window of one run in folder $1.
measure() {
    local dir=$1
    if [ -n "$mapwait" ]; then
        (cd "$dir" && "$mapwait" "$title" "$timeout_ms" "$dir/$exe_name")
        return
    fi
    local start now pid
    start=$(date +%s%N)
    (cd "$dir" && exec "$dir/$exe_name") >/dev/null 2>&1 &
    pid=$!
    while :; do
        if xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; then
            now=$(date +%s%N)
            break
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "startup.sh: the program exited before showing its window" >&2
            return 1
        fi
        if [ $((($(date +%s%N) - start) / 1000000)) -ge "$timeout_ms" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            echo "startup.sh: no window titled \"$title\" within $timeout_ms ms" >&2
            return 1
        fi
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    awk -v ns=$((now - start)) 'BEGIN { printf "%.1f\n", ns / 1e6 }'
}

# One run of case $1 (empty or full), its folder set up afresh.
run_case() {
    local dir="$work/$1"
    rm -f "$dir"/LBcontatos.txt*
    if [ "$1" = full ]; then cp "$work/store.txt" "$dir/LBcontatos.txt"; fi
    local ms
    ms=$(measure "$dir") || return 1
    if [ "$1" = empty ] && [ ! -e "$dir/LBcontatos.txt" ]; then
        echo "startup.sh: note: no LBcontatos.txt was created by the time the window showed" >&2
    fi
    echo "$ms"
}

median() {
    tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) printf "%.1f\n", v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "Start-up to a shown window: $app"
echo "  display $DISPLAY (Xvfb), $runs runs per case after one warm-up, cases alternated;" \
    "timed by $([ -n "$mapwait" ] && echo "MapNotify (bench_mapwait)" || echo "polling xdotool")"
run_case empty >/dev/null
run_case full >/dev/null
empty_ms=""
full_ms=""
for _ in $(seq "$runs"); do
    empty_ms+=" $(run_case empty)"
    full_ms+=" $(run_case full)"
done
empty_median=$(echo "$empty_ms" | median)
full_median=$(echo "$full_ms" | median)
printf '  %-38s %8s ms   runs:%s\n' "no LBcontatos.txt" "$empty_median" "$empty_ms"
printf '  %-38s %8s ms   runs:%s\n' "$(printf "%'d" "$contacts") contacts ($(awk -v b="$store_bytes" \
    'BEGIN { printf "%.1f MB", b / 1e6 }'))" "$full_median" "$full_ms"
awk -v e="$empty_median" -v f="$full_median" -v n="$contacts" 'BEGIN {
    r = f / e
    printf "  ratio %d contacts / none: %.2f   target: within 2x of none: %s\n", n, r, (r <= 2 ? "met" : "NOT met")
    exit (r <= 2 ? 0 : 1) }'
