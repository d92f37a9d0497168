#!/usr/bin/env bash
# Builds the plug-in in Release, installs the bundle into ~/.vst3 and renders a demo WAV through
# the installed bundle with the test host.
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
build="$top/build-release"
jobs="$(nproc)"

"$top/tools/install-deps.sh"

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DONDULA_BUILD_TESTS=OFF -DONDULA_BUILD_BENCHMARKS=OFF
cmake --build "$build" --parallel "$jobs" --target OndulaDelay_VST3 ondula_test_host

bundle="$build/OndulaDelay_artefacts/Release/VST3/Ondula Delay Free.vst3"
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Ondula Delay Free.vst3"
cp -r "$bundle" "$HOME/.vst3/"
echo "Installed: $HOME/.vst3/Ondula Delay Free.vst3"

host="$build/tools/TestHost/ondula_test_host_artefacts/Release/Ondula Test Host"
demo="$build/ondula-demo.wav"
"$host" list "$HOME/.vst3/Ondula Delay Free.vst3" | grep -E '^(name|vendor|version|parameters)='
"$host" render "$HOME/.vst3/Ondula Delay Free.vst3" --signal clicks --seconds 8 --bpm 120 \
    --set delay_globals_time_time=0.45 --set delay_globals_dynamics_wet=0.7 \
    --write-input "$build/ondula-demo-input.wav" --out "$demo"
echo "Demo: $demo (input: $build/ondula-demo-input.wav)"
