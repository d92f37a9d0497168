#!/usr/bin/env bash
# Builds a state fuzz target with clang (libFuzzer, ASan, UBSan) and runs it.
# Usage: tools/fuzz-state.sh [seconds] [loader|vst3|preset|controller]   (default 600 loader)
#   loader: the processor's state loader, given the bytes directly
#   vst3:   the bytes through the VST3 component's setState, as a DAW restores a project
#   preset: a preset file, its name and its bytes, listed, read and merged as the preset strip does
#   controller: calls on the VST3 edit controller, its unit and MIDI-mapping interfaces and the
#           factory, with any index, id, value, text or null pointer
# JOBS sets the build's parallel jobs (default: every core).
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
build="$top/build-fuzz"
seconds="${1:-600}"
mode="${2:-loader}"

dict="$top/tests/fuzz/state.dict"

case "$mode" in
    loader) target=ondula_state_fuzzer;      seeds="$top/tests/fuzz/corpus";      corpus="$build/fuzz-corpus" ;;
    vst3)   target=ondula_vst3_state_fuzzer; seeds="$top/tests/fuzz/corpus-vst3"; corpus="$build/fuzz-corpus-vst3" ;;
    preset) target=ondula_preset_fuzzer;     seeds="$top/tests/fuzz/corpus-preset"; corpus="$build/fuzz-corpus-preset" ;;
    controller) target=ondula_vst3_controller_fuzzer; seeds="$top/tests/fuzz/corpus-controller"
                corpus="$build/fuzz-corpus-controller"; dict="$top/tests/fuzz/controller.dict" ;;
    *) echo "usage: $0 [seconds] [loader|vst3|preset|controller]"; exit 2 ;;
esac

"$top/tools/install-deps.sh"
command -v clang++ >/dev/null || { echo "clang++ is needed (apt-get install clang libclang-rt-14-dev)"; exit 1; }

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDULA_SANITIZE=fuzzer \
    -DONDULA_BUILD_TESTS=OFF -DONDULA_BUILD_BENCHMARKS=OFF -DONDULA_BUILD_TEST_HOST=OFF
cmake --build "$build" --parallel "${JOBS:-$(nproc)}" --target "$target"

mkdir -p "$corpus"
cp -n "$seeds"/* "$corpus/"

# No input of 64 KB needs a block of 128 MB: one that asks for it is a finding.
"$build/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len=65536 -malloc_limit_mb=128 \
    -dict="$dict" -artifact_prefix="$build/$mode-" -print_final_stats=1
