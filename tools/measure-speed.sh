#!/usr/bin/env bash
# Measures the real-time factor of the whole plug-in in one run: the processor's own processBlock
# and its stages in the benchmark, the scalar reference beside them, then the built VST3 bundle
# through the test host (stereo, 48 kHz, every tap on, the Ondula wave moving, one core) at blocks
# of 1, 16, 64, 512 and 4096 samples.
#   tools/measure-speed.sh [--against REF] [build directory, default build-release]
# With --against, the commit REF (a tag, a branch, main~3 ...) is built beside this tree in a work
# tree of its own, and both are measured in the same run, taking turns: the benchmarks three rounds,
# the renders five, the best of each (a shared machine only ever makes code slower than it is), and,
# with valgrind, the instructions the plug-in's process call spends per second of audio, which do not
# depend on the machine's load. Every ratio above 1 means this tree is faster.
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
        --benchmark_min_time=0.5 --benchmark_filter="$filter" 2>/dev/null | grep -E '_median' | awk '{ print $1, $2, $3 }'
}

out="$(mktemp -d)"
trap 'rm -rf "$out"; [ -z "$old" ] || git -C "$top" worktree remove --force "$old/src" > /dev/null 2>&1 || true' EXIT

# The two builds take turns, three rounds, so that a busy machine slows both alike.
echo "=== Benchmarks (time per iteration: the best of 3 rounds, each the median of 5) ==="
for round in 1 2 3; do
    bench "$build" >> "$out/this.txt"
    [ -z "$old" ] || bench "$old/build" >> "$out/ref.txt"
done

awk -v withRef="$([ -n "$old" ] && echo 1)" '
    function best(list,   n, v, i, m) {
        n = split(list, v, " ")
        m = v[1]
        for (i = 2; i <= n; ++i) if (v[i] + 0 < m + 0) m = v[i]
        return m
    }
    FNR == 1 { file++ }
    { name = $1; sub(/_median$/, "", name); if (!(name in seen)) { seen[name] = 1; order[++count] = name }
      unit[name] = $3; if (file == 1) mine[name] = mine[name] " " $2; else theirs[name] = theirs[name] " " $2 }
    END {
        for (k = 1; k <= count; ++k) {
            name = order[k]; a = best(mine[name])
            if (a == "") continue
            if (withRef && theirs[name] != "") {
                b = best(theirs[name])
                printf "%-55s this %10.1f %s   REF %10.1f %s   REF/this %.2f\n", name, a, unit[name], b, unit[name], b / a
            } else
                printf "%-55s this %10.1f %s\n", name, a, unit[name]
        }
    }' "$out/this.txt" $([ -n "$old" ] && echo "$out/ref.txt")

# Every bundle is driven by this tree's test host, so both are measured with the same tool.
host="$build/tools/TestHost/ondula_test_host_artefacts/Release/Ondula Test Host"

realtime() {
    local bundle="$1/OndulaDelay_artefacts/Release/VST3/Ondula Delay Free.vst3" block="$2" seconds="$3"
    "$host" render "$bundle" --state-in "$top/bench/AllTapsModulated.state" --signal noise --seconds "$seconds" \
        --blocks "$block" --out "$out/timed.wav" --time | sed -n 's/^render.realtime=//p'
}

best() { printf '%s\n' "$@" | sort -g | tail -n 1; }

# Timings on a shared machine only ever come out slower than the code allows, so each figure is the
# best of five renders, the two builds taking turns.
echo "=== VST3 bundle through the test host (realtime_x, best of 5) ==="
for block in 1 16 64 512 4096; do
    seconds=30
    [ "$block" -lt 16 ] && seconds=10
    mine=() theirs=()

    for round in 1 2 3 4 5; do
        mine+=("$(realtime "$build" "$block" "$seconds")")
        [ -z "$old" ] || theirs+=("$(realtime "$old/build" "$block" "$seconds")")
    done

    if [ -n "$old" ]; then
        a="$(best "${mine[@]}")" b="$(best "${theirs[@]}")"
        echo "block $block: this $a, REF $b, this/REF $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')"
    else
        echo "block $block: realtime_x=$(best "${mine[@]}")"
    fi
done

# Instructions do not depend on what else the machine runs: the instructions of the plug-in's whole
# process call (the VST3 client's part with the processor's) per second of audio, counted by
# callgrind (needs valgrind), from the host's call on: the thunk through which a host calls
# process, whatever the client inlines into it. Two renders of different lengths, so that what runs
# once (the first block's set-up) drops out of the difference. A build that valgrind cannot run (one that takes
# AVX-512 from the system's feature list on a machine that has it) reads n/a.
if command -v valgrind > /dev/null; then
    # Empty when the render did not finish.
    counted() {
        local bundle="$1/OndulaDelay_artefacts/Release/VST3/Ondula Delay Free.vst3" block="$2" seconds="$3" log
        log="$(valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='non-virtual thunk to juce::JuceVST3Component::process(Steinberg*' \
            "$host" render "$bundle" --state-in "$top/bench/AllTapsModulated.state" --signal noise --seconds "$seconds" \
            --blocks "$block" --out "$out/counted.wav" 2>&1 || true)"
        grep -q '^samples=' <<< "$log" && sed -n 's/.*Collected : \([0-9]*\).*/\1/p' <<< "$log"
    }

    instructions() {
        local short="$3" long="$4" a b
        a="$(counted "$1" "$2" "$short" || true)"
        b="$(counted "$1" "$2" "$long" || true)"

        if [ -z "$a" ] || [ -z "$b" ]; then
            echo "n/a"
            return
        fi

        awk -v a="$a" -v b="$b" -v s="$short" -v l="$long" 'BEGIN { printf "%.0f", (b - a) / (l - s) }'
    }

    echo "=== Instructions of the process call per second of audio (callgrind) ==="
    for block in 1 16 64 512 4096; do
        if [ "$block" -lt 16 ]; then lengths="0.25 0.5"; else lengths="1 3"; fi
        a="$(instructions "$build" "$block" $lengths)"

        if [ -n "$old" ]; then
            b="$(instructions "$old/build" "$block" $lengths)"
            ratio="n/a"
            [ "$a" = "n/a" ] || [ "$b" = "n/a" ] || ratio="$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", b / a }')"
            echo "block $block: this $a, REF $b, REF/this $ratio"
        else
            echo "block $block: $a"
        fi
    done
fi
