#!/usr/bin/env bash
# Measures the real-time factor of the whole plug-in in one run: the processor's own processBlock
# and its stages in the benchmark, the scalar reference beside them, then the built VST3 bundle
# through the test host (stereo, 48 kHz, every tap on, the Ondula wave moving, one core).
#   tools/measure-speed.sh [build directory, default build-release]
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build-release}"

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DONDULA_BUILD_TESTS=OFF -DONDULA_BUILD_BENCHMARKS=ON -DONDULA_BUILD_TEST_HOST=ON > /dev/null
cmake --build "$build" --parallel "$(nproc)" --target ondula_bench ondula_test_host OndulaDelay_VST3 > /dev/null

"$build/bench/ondula_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_min_time=1 --benchmark_filter='Stereo48k|ScalarOracle|Stage|Processor' 2>/dev/null | grep -E '_median|^Benchmark'

host="$build/tools/TestHost/ondula_test_host_artefacts/Release/Ondula Test Host"
bundle="$build/OndulaDelay_artefacts/Release/VST3/Ondula Delay Free.vst3"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

for block in 64 512; do
    factor=$("$host" render "$bundle" --state-in "$top/bench/AllTapsModulated.state" --signal noise --seconds 60 \
                 --blocks "$block" --out "$out/timed.wav" --time | sed -n 's/^render.realtime=//p')
    echo "VST3 bundle through the test host, block $block: realtime_x=$factor"
done
