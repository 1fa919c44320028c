#!/usr/bin/env bash
# Builds with GCC's --coverage in build-coverage, runs the unit, widget and real-desktop tests
# and prints line and branch coverage of src/ per folder. --html DIR also writes a browsable
# report; --no-e2e leaves the real-desktop suite out.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-coverage"
html=
ctest_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --html) html=$(realpath -m "$2"); shift 2 ;;
        --no-e2e) ctest_args+=(-LE e2e); shift ;;
        *) echo "usage: $0 [--html DIR] [--no-e2e]" >&2; exit 2 ;;
    esac
done

"$root/tools/setup.sh" || exit 1

# -O0 keeps every source line its own; counters from an earlier run would add up, so they go.
# The names are read on a thread of their own: counters two threads bump at once must be
# atomic, or gcov prints negative counts that gcovr cannot parse.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_CXX_FLAGS="--coverage -O0 -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS="--coverage -Wl,-u,__gcov_dump,--export-dynamic-symbol=__gcov_dump" >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" || exit 1
find "$build" -name '*.gcda' -delete

# The real-desktop tests end the program with SIGTERM, which would drop its counters: this
# preloaded handler writes them first. Programs built without --coverage lack __gcov_dump and
# keep their own handling (Xvfb, the print server, xdotool).
cat >"$build/gcov_on_term.c" <<'EOF'
#include <signal.h>
extern void __gcov_dump(void) __attribute__((weak));
static void on_term(int sig) { __gcov_dump(); signal(sig, SIG_DFL); raise(sig); }
__attribute__((constructor)) static void install(void) { if (__gcov_dump) signal(SIGTERM, on_term); }
EOF
gcc -shared -fPIC -o "$build/gcov_on_term.so" "$build/gcov_on_term.c" || exit 1
(cd "$build" && LD_PRELOAD="$build/gcov_on_term.so" ctest --output-on-failure -j"$(nproc)" "${ctest_args[@]}")
tests=$?

# Throw and compiler-made branches are noise: no test can or should take each of them.
filters=(-r "$root" --filter "$root/src/" --exclude-throw-branches --exclude-unreachable-branches)
gcovr "${filters[@]}" --json-summary "$build/coverage.json" "$build" || exit 1
[ -z "$html" ] || { mkdir -p "$html" && gcovr "${filters[@]}" --html-details "$html/index.html" "$build" &&
    echo "HTML report: $html/index.html"; } || exit 1

python3 - "$build/coverage.json" <<'EOF'
import json, sys
sums = {}
for f in json.load(open(sys.argv[1]))["files"]:
    parts = f["filename"].split("/")
    folder = parts[1] if len(parts) > 2 else parts[0]
    s = sums.setdefault(folder, [0, 0, 0, 0])
    s[0] += f["line_covered"]; s[1] += f["line_total"]
    s[2] += f["branch_covered"]; s[3] += f["branch_total"]
sums["total"] = [sum(v[i] for v in sums.values()) for i in range(4)]
pct = lambda a, b: f"{100 * a / b:5.1f}%" if b else "    -"
print(f"{'src/':<12}{'lines':>18}{'branches':>18}")
for k, (lc, lt, bc, bt) in sums.items():
    print(f"{k:<12}{lc:>6}/{lt:<5}{pct(lc, lt)}{bc:>6}/{bt:<5}{pct(bc, bt)}")
EOF
exit $tests
