#!/usr/bin/env bash
# Runs the store benchmarks and prints, for each operation and size, the median time and its
# ratio to Floor (read the file + rewrite it atomically); then an add and a refresh at 100,000
# contacts through the main window (bench_add), each with its ratio to its own floor (the add's:
# read + atomic rewrite; the refresh's: the read), and start-up (startup.sh).
#
# usage: bench/run.sh BUILD_DIR [Google Benchmark flags, e.g. --benchmark_filter=Append]
#
# BUILD_DIR is a tree configured with -DLB_BENCH=ON -DCMAKE_BUILD_TYPE=Release and built.
# Environment:
#   BENCH_MEMORY   warm (default), glibc, or "warm glibc": how bench_store sets malloc up (see
#                  bench_store.cpp); warm is the steady state and does not depend on run order
#   SKIP_STORE=1   no store benchmarks
#   SKIP_ADD=1     no add through the window
#   SKIP_STARTUP=1 no start-up
#   RUNS, LB_APP   passed on to startup.sh
# Results stay in BUILD_DIR/bench/bench_store-MODE.json and .log.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 BUILD_DIR [benchmark flags]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
bench="$build/bench/bench_store"
if [ ! -x "$bench" ]; then
    echo "$bench not built: cmake --build $build --target bench_store" >&2
    exit 2
fi

status=0
for mode in $([ "${SKIP_STORE:-0}" = 1 ] || echo "${BENCH_MEMORY:-warm}"); do
    json="$build/bench/bench_store-$mode.json"
    log="$build/bench/bench_store-$mode.log"
    echo "bench_store --memory=$mode (console output in $log) ..."
    "$bench" --memory="$mode" --benchmark_out="$json" --benchmark_out_format=json "$@" >"$log" 2>&1 || {
        echo "bench_store failed, see $log" >&2
        exit 1
    }
    python3 "$here/report.py" "$json" || status=1
done

if [ "${SKIP_ADD:-0}" != 1 ] && [ -x "$build/bench/bench_add" ]; then
    store=$(mktemp "${TMPDIR:-/tmp}/lb-add.XXXXXX")
    "$bench" --generate 100000 "$store"
    read -r add refresh addFloor readFloor < <(QT_QPA_PLATFORM=offscreen "$build/bench/bench_add" "$store" "${RUNS:-9}") ||
        status=1
    rm -f "$store"
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "?" }'; }
    echo "Through the main window at 100,000 contacts, median of ${RUNS:-9} runs, click to the list painted:"
    echo "  add (the notice's time on screen not counted) ${add:-?} ms, $(ratio "${add:-0}" "${addFloor:-0}") its floor" \
        "(read + atomic rewrite, flushed with its folder: ${addFloor:-?} ms)"
    echo "  refresh ${refresh:-?} ms, $(ratio "${refresh:-0}" "${readFloor:-0}") its floor (the file read: ${readFloor:-?} ms)"
    echo
fi

if [ "${SKIP_STARTUP:-0}" != 1 ]; then
    bash "$here/startup.sh" "$build" || status=1
fi
exit $status
