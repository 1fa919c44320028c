#!/usr/bin/env bash
# Sets up, builds and runs every test: first the unit and widget tests under AddressSanitizer
# and UndefinedBehaviorSanitizer (clang) with the fuzzer, then the whole suite, the
# real-desktop tests included, in the ordinary build. Ends with CTest's summary.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/tools/setup.sh" || exit 1

cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DLB_SANITIZE=ON -DLB_FUZZ=ON >/dev/null || exit 1
cmake --build "$root/build-asan" -j"$jobs" || exit 1
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$root/build" -j"$jobs" || exit 1

echo "=== Under AddressSanitizer and UndefinedBehaviorSanitizer, with the fuzzer ==="
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$root/tests/support/lsan.supp" \
    ctest --output-on-failure -LE e2e -j"$jobs")
sanitized=$?

echo "=== All tests ==="
(cd "$root/build" && ctest --output-on-failure)
plain=$?

[ $sanitized -eq 0 ] && [ $plain -eq 0 ]
