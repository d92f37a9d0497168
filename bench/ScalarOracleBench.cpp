// The plain scalar rendering that the engine is tested against, timed on the same work, so the
// engine's speed-up over it can be read off: compare with Stereo48k_AllTaps at the same block.

#include "support/ScalarOndulaOracle.cpp" // the test oracle's single source, built into the bench

#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace
{
void ScalarOracle_Stereo48k_AllTaps (benchmark::State& state)
{
    const int blockSize = (int) state.range (0);
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    auto& tree = processor->stateTree;
    const char* all = "11111111111111111111111111111111";
    auto delay = tree.getChildWithName ("delay");
    delay.getChildWithName ("delay_pattern").setProperty ("pattern_l", all, nullptr);
    delay.getChildWithName ("delay_pattern").setProperty ("pattern_r", all, nullptr);
    delay.getChildWithName ("delay_globals_ondula").setProperty ("amount", 1.0, nullptr);
    delay.getChildWithName ("delay_globals_ondula").setProperty ("time_mode", 0, nullptr);
    delay.getChildWithName ("delay_globals_ondula").setProperty ("velocity", 0.7, nullptr);
    delay.getChildWithName ("delay_globals_time").setProperty ("feedback_amplitude", 0.5, nullptr);

    for (const char* node : { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" })
        tree.getChildWithName ("ondula").getChildWithName (node).setProperty ("curve", "0 1 0\n", nullptr);

    const auto leftSettings = processor->leftDelay.currentSettings();
    const auto rightSettings = processor->rightDelay.currentSettings();
    auto left = std::make_unique<ScalarOndulaOracle> (processor->mappingFunctions, false, 48000.0f);
    auto right = std::make_unique<ScalarOndulaOracle> (processor->mappingFunctions, true, 48000.0f);

    std::mt19937 random (1);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);
    std::vector<float> input ((size_t) blockSize * 2), buffer (input.size());

    for (auto& x : input)
        x = noise (random);

    for (auto _ : state)
    {
        buffer = input;
        left->process (buffer.data(), blockSize, leftSettings);
        right->process (buffer.data() + blockSize, blockSize, rightSettings);
        benchmark::DoNotOptimize (buffer.data());
    }

    const double seconds = (double) state.iterations() * blockSize / 48000.0;
    state.counters["realtime_x"] = benchmark::Counter (seconds, benchmark::Counter::kIsRate);
}
} // namespace

BENCHMARK (ScalarOracle_Stereo48k_AllTaps)->ArgName ("block")->Arg (64)->Arg (512);
