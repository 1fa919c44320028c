#!/usr/bin/env bash
# Start-up of the real program, from its process starting to its window being mapped and
# viewable, and its peak resident memory (VmHWM) by then: with no contacts file (the empty store
# is created at start), with stores of 10,000, 100,000 and 1,000,000 contacts, and with a file
# that is no contacts file at all (one 20 MB line without a line break).
#
# usage: bench/startup.sh BUILD_DIR
#
# Needs Xvfb; the program is BUILD_DIR/lurvane-brevicard and the store generator
# BUILD_DIR/bench/bench_store. The window is waited for by BUILD_DIR/bench/bench_mapwait (the
# X server's MapNotify) when it was built, otherwise by polling xdotool in a tight loop.
# Environment:
#   RUNS=9                      measured runs per case (after one warm-up run each, not counted)
#   CASES="0 10000 100000 1000000 line"   the cases, run in turn in every round
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
cases=${CASES:-0 10000 100000 1000000 line}
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

# The program reads LBcontatos.txt beside its executable: one folder per case, its store made
# once (start-up leaves an existing file alone; only the empty case's file is removed each run).
for c in $cases; do
    mkdir "$work/$c"
    cp "$app" "$work/$c/$exe_name"
    case $c in
    0) ;;
    line) # not a contacts file: 20 MB of text with no line break and no field separator
        (set +o pipefail; yes 'Lorem ipsum dolor sit amet, consectetur adipiscing elit ' | tr -d '\n' |
            head -c 20000000 >"$work/$c/LBcontatos.txt") ;;
    *) "$generator" --generate "$c" "$work/$c/LBcontatos.txt" ;;
    esac
done

# Prints the milliseconds from start to shown window of one run in folder $1, and the peak
# resident memory in kB by then.
measure() {
    local dir=$1
    if [ -n "$mapwait" ]; then
        (cd "$dir" && "$mapwait" "$title" "$timeout_ms" "$dir/$exe_name")
        return
    fi
    local start now pid peak
    start=$(date +%s%N)
    (cd "$dir" && exec "$dir/$exe_name") >/dev/null 2>&1 &
    pid=$!
    while :; do
        if xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; then
            now=$(date +%s%N)
            peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
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
    awk -v ns=$((now - start)) -v kb="${peak:-0}" 'BEGIN { printf "%.1f %d\n", ns / 1e6, kb }'
}

# One run of case $1, its folder set up afresh: prints "ms kB".
run_case() {
    local dir="$work/$1"
    if [ "$1" = 0 ]; then rm -f "$dir"/LBcontatos.txt*; fi
    rm -f "$dir"/LBcontatos.txt.lock
    local out
    out=$(measure "$dir") || return 1
    if [ "$1" = 0 ] && [ ! -e "$dir/LBcontatos.txt" ]; then
        echo "startup.sh: note: no LBcontatos.txt was created by the time the window showed" >&2
    fi
    echo "$out"
}

median() {
    tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) printf "%.1f\n", v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

label() {
    case $1 in
    0) echo "no LBcontatos.txt" ;;
    line) echo "one 20 MB line, no line break" ;;
    *) printf "%'d contacts (%.1f MB)" "$1" "$(stat -c %s "$work/$1/LBcontatos.txt" | awk '{ print $1 / 1e6 }')" ;;
    esac
}

echo "Start-up to a shown window: $app"
echo "  display $DISPLAY (Xvfb), $runs runs per case after one warm-up, cases alternated;" \
    "timed by $([ -n "$mapwait" ] && echo "MapNotify (bench_mapwait)" || echo "polling xdotool")"
declare -A ms kb
for c in $cases; do run_case "$c" >/dev/null; ms[$c]=""; kb[$c]=""; done
for _ in $(seq "$runs"); do
    for c in $cases; do
        read -r m k < <(run_case "$c")
        ms[$c]+=" $m"
        kb[$c]+=" $k"
    done
done
printf '  %-40s %9s %9s   %s\n' "case" "median ms" "VmHWM MB" "runs (ms)"
declare -A med_ms med_mb
for c in $cases; do
    med_ms[$c]=$(echo "${ms[$c]}" | median)
    med_mb[$c]=$(echo "${kb[$c]}" | median | awk '{ printf "%.1f", $1 / 1024 }')
    printf '  %-40s %9s %9s  %s\n' "$(label "$c")" "${med_ms[$c]}" "${med_mb[$c]}" "${ms[$c]}"
done

status=0
if [ -n "${med_ms[0]:-}" ]; then
    for c in $cases; do
        case $c in 0 | line) continue ;; esac
        printf '  ratio %-9s / none: time %.2f, VmHWM %.2f' "$c" \
            "$(awk -v a="${med_ms[$c]}" -v b="${med_ms[0]}" 'BEGIN { print a / b }')" \
            "$(awk -v a="${med_mb[$c]}" -v b="${med_mb[0]}" 'BEGIN { print a / b }')"
        if [ "$c" = 100000 ]; then
            awk -v t="${med_ms[$c]}" -v e="${med_ms[0]}" -v m="${med_mb[$c]}" -v n="${med_mb[0]}" 'BEGIN {
                ok = (t / e <= 1.3 && m / n <= 1.3)
                printf "   target: within 1.3x in time, 1.3x in memory: %s\n", ok ? "met" : "NOT met"
                exit !ok }' || status=1
        elif [ "$c" = 1000000 ]; then
            awk -v t="${med_ms[$c]}" -v e="${med_ms[0]}" 'BEGIN {
                ok = (t / e <= 5)
                printf "   target: within 5x in time: %s\n", ok ? "met" : "NOT met"
                exit !ok }' || status=1
        else
            echo
        fi
    done
fi
if [ -n "${med_ms[line]:-}" ]; then
    awk -v t="${med_ms[line]}" -v m="${med_mb[line]}" 'BEGIN {
        ok = (t < 1000 && m < 200)
        printf "  20 MB line: %.0f ms, %.0f MB   target: under 1 s and 200 MB: %s\n", t, m, ok ? "met" : "NOT met"
        exit !ok }' || status=1
fi
exit $status
