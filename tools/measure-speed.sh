#!/usr/bin/env bash
# Measures the real-time factor of the whole plug-in in one run: the processor's own processBlock
# and its stages in the benchmark, the scalar reference beside them, then the built VST3 bundle
# through the test host (stereo, 48 kHz, every tap on, the Ondula wave moving, one core) at blocks
# of 1, 16, 64, 512 and 4096 samples.
#   tools/measure-speed.sh [--against REF] [build directory, default build-release]
# With --against, the commit REF (a tag, a branch, main~3 ...) is built beside this tree in a work
# tree of its own, and both are measured in the same run: each benchmark and each render of the
# two bundles in turn, three times, with the medians and their ratio (this tree / REF).
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
against=""
build="$top/build-release"

while [ $# -gt 0 ]; do
    case "$1" in
        --against) against="$2"; shift 2 ;;
        *) build="$1"; shift ;;
    esac
done

configure_and_build() {
    local source="$1" dir="$2"
    cmake -S "$source" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DONDULA_BUILD_TESTS=OFF -DONDULA_BUILD_BENCHMARKS=ON \
        -DONDULA_BUILD_TEST_HOST=ON > /dev/null
    cmake --build "$dir" --parallel "$(nproc)" --target ondula_bench ondula_test_host OndulaDelay_VST3 > /dev/null
}

configure_and_build "$top" "$build"

old=""
if [ -n "$against" ]; then
    old="$build/against"
    rm -rf "$old/src"
    git -C "$top" worktree prune
    git -C "$top" worktree add --detach "$old/src" "$against" > /dev/null
    trap 'git -C "$top" worktree remove --force "$old/src" > /dev/null 2>&1 || true' EXIT
    echo "Building $against ($(git -C "$old/src" rev-parse --short HEAD)) beside this tree ..."
    configure_and_build "$old/src" "$old/build"
fi

filter='Stereo48k|ScalarOracle|Stage|Processor'
bench() {
    "$1/bench/ondula_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_min_time=1 --benchmark_filter="$filter" 2>/dev/null | grep -E '_median'
}

echo "=== Benchmarks (medians of 5) ==="
bench "$build" | sed 's/^/this: /'
[ -n "$old" ] && bench "$old/build" | sed 's/^/REF:  /'

# Every bundle is driven by this tree's test host, so both are measured with the same tool.
host="$build/tools/TestHost/ondula_test_host_artefacts/Release/Ondula Test Host"
out="$(mktemp -d)"
trap 'rm -rf "$out"; [ -z "$old" ] || git -C "$top" worktree remove --force "$old/src" > /dev/null 2>&1 || true' EXIT

realtime() {
    local bundle="$1/OndulaDelay_artefacts/Release/VST3/Ondula Delay Free.vst3" block="$2" seconds="$3"
    "$host" render "$bundle" --state-in "$top/bench/AllTapsModulated.state" --signal noise --seconds "$seconds" \
        --blocks "$block" --out "$out/timed.wav" --time | sed -n 's/^render.realtime=//p'
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

echo "=== VST3 bundle through the test host (realtime_x, medians of 3) ==="
for block in 1 16 64 512 4096; do
    seconds=60
    [ "$block" -lt 16 ] && seconds=10
    mine=() theirs=()

    for round in 1 2 3; do
        mine+=("$(realtime "$build" "$block" "$seconds")")
        [ -n "$old" ] && theirs+=("$(realtime "$old/build" "$block" "$seconds")")
    done

    if [ -n "$old" ]; then
        a="$(median "${mine[@]}")" b="$(median "${theirs[@]}")"
        echo "block $block: this $a, REF $b, ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')"
    else
        echo "block $block: realtime_x=$(median "${mine[@]}")"
    fi
done
