#!/usr/bin/env bash
# Builds the state-loader fuzz target with clang (libFuzzer, ASan, UBSan) and runs it.
# Usage: tools/fuzz-state.sh [seconds]   (default 600)
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
build="$top/build-fuzz"
seconds="${1:-600}"

"$top/tools/install-deps.sh"
command -v clang++ >/dev/null || { echo "clang++ is needed (apt-get install clang libclang-rt-14-dev)"; exit 1; }

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDULA_SANITIZE=fuzzer \
    -DONDULA_BUILD_TESTS=OFF -DONDULA_BUILD_BENCHMARKS=OFF -DONDULA_BUILD_TEST_HOST=OFF
cmake --build "$build" --parallel "$(nproc)" --target ondula_state_fuzzer

corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
cp -n "$top"/tests/fuzz/corpus/* "$corpus/"

"$build/tests/fuzz/ondula_state_fuzzer" "$corpus" -max_total_time="$seconds" -max_len=65536 \
    -artifact_prefix="$build/" -print_final_stats=1
