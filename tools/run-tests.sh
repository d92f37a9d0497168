#!/usr/bin/env bash
# Builds and runs every test: the Debug suite, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the concurrency tests under ThreadSanitizer.
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"

"$top/tools/install-deps.sh"

run_suite() {
    local dir="$1"; shift
    cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DONDULA_BUILD_BENCHMARKS=OFF "$@"
    cmake --build "$dir" --parallel "$jobs"
    (cd "$dir" && ctest --output-on-failure --parallel "$jobs" --timeout 600)
}

echo "=== Debug suite ==="
run_suite "$top/build-debug"

echo "=== AddressSanitizer + UndefinedBehaviorSanitizer suite ==="
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp"
run_suite "$top/build-asan" -DONDULA_SANITIZE=address
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

echo "=== ThreadSanitizer: concurrency tests ==="
tsan="$top/build-tsan"
cmake -S "$top" -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DONDULA_SANITIZE=thread \
    -DONDULA_BUILD_BENCHMARKS=OFF -DONDULA_BUILD_TEST_HOST=OFF
cmake --build "$tsan" --parallel "$jobs" --target ondula_unit_tests
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    "$tsan/tests/ondula_unit_tests" --gtest_filter='*Concurrency*'

echo "All tests passed."
