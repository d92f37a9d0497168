// The stages of the whole processor alone, to see where the time goes: the lane kernel of both
// channels with their feedback paths (every path this processor runs), the two compressors and
// the dry/wet stage.
//   ondula_bench --benchmark_filter=Stage

#include "engine/DryWetMixer.h"
#include "engine/DynamicRangeCompressor.h"
#include "engine/TapLaneKernel.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace
{
constexpr double rate = 48000.0;

void reportRealTime (benchmark::State& state, int blockSize)
{
    const double seconds = (double) state.iterations() * blockSize / rate;
    state.counters["realtime_x"] = benchmark::Counter (seconds, benchmark::Counter::kIsRate);
}

/** Two lines of noise and 32 lanes a channel spread over them, each moving slowly, with band-pass
    coefficients ramping as a modulated block's would. */
struct KernelRig
{
    explicit KernelRig (int blockSize) : n (blockSize), left ((size_t) TapLaneKernel::lineSize), right ((size_t) TapLaneKernel::lineSize),
                                         outLeft ((size_t) blockSize), outRight ((size_t) blockSize)
    {
        std::mt19937 random (3);
        std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

        for (size_t i = 0; i < left.size(); ++i)
        {
            left[i] = noise (random);
            right[i] = noise (random);
        }

        start = std::make_unique<TapLaneKernel::Lanes>();
        auto& l = *start;

        for (int c = 0; c < 2; ++c)
            for (int g = 0; g < 8; ++g)
                for (int k = 0; k < 4; ++k)
                {
                    const int tap = g * 4 + k;
                    const int s = TapLaneKernel::slot (c, g, k);
                    l.start[s] = 200000 - tap * 3400;
                    l.step[s] = 0.05f * (float) ((tap % 5) - 2);
                    const float b0 = 0.01f + 0.002f * (float) tap;
                    l.b0[s] = b0; l.b1[s] = 0.0f; l.b2[s] = -b0;
                    l.a1[s] = -1.9f + 0.01f * (float) tap; l.a2[s] = 0.9f;
                    l.gain[s] = 0.5f;
                    l.db0[s] = 1.0e-7f; l.db1[s] = 0.0f; l.db2[s] = -1.0e-7f;
                    l.da1[s] = -1.0e-7f; l.da2[s] = 1.0e-7f; l.dgain[s] = 1.0e-6f;
                }

        l.groups[0] = l.groups[1] = 8;
        lanes = std::make_unique<TapLaneKernel::Lanes> (l);

        // The feedback paths read 16 time units back, well before the block.
        for (int c = 0; c < 2; ++c)
        {
            auto& f = feedbackStart;
            f.start[c] = 10000;
            f.writeStart[c] = 300000;
            f.step[c] = 0.01f;
            f.b0[c] = 0.02f; f.b1[c] = 0.0f; f.b2[c] = -0.02f; f.a1[c] = -1.95f; f.a2[c] = 0.96f; f.gain[c] = 0.5f;
        }
    }

    void render (TapLaneKernel::Path path)
    {
        *lanes = *start;
        feedback = feedbackStart;
        float* lines[2] { left.data(), right.data() };
        float* out[2] { outLeft.data(), outRight.data() };
        TapLaneKernel::render (path, lines, 2, 0, n, *lanes, &feedback, out);
    }

    int n;
    std::vector<float> left, right, outLeft, outRight;
    std::unique_ptr<TapLaneKernel::Lanes> start, lanes;
    TapLaneKernel::Feedback feedbackStart {}, feedback {};
};

void runKernel (benchmark::State& state, TapLaneKernel::Path path)
{
    if (! TapLaneKernel::isAvailable (path))
    {
        state.SkipWithError ("path not available on this processor");
        return;
    }

    const int blockSize = (int) state.range (0);
    KernelRig rig (blockSize);

    for (auto _ : state)
    {
        rig.render (path);
        benchmark::DoNotOptimize (rig.outLeft.data());
    }

    reportRealTime (state, blockSize);
}

void Stage_LaneKernel_Stereo (benchmark::State& state) { runKernel (state, TapLaneKernel::Path::automatic); }
void Stage_LaneKernel_Stereo_AVX2 (benchmark::State& state) { runKernel (state, TapLaneKernel::Path::avx2); }
void Stage_LaneKernel_Stereo_SSE4 (benchmark::State& state) { runKernel (state, TapLaneKernel::Path::sse4); }
void Stage_LaneKernel_Stereo_Portable (benchmark::State& state) { runKernel (state, TapLaneKernel::Path::portable); }

void Stage_Compressors_Stereo (benchmark::State& state)
{
    const int blockSize = (int) state.range (0);
    DynamicRangeCompressor left, right;
    left.smoothing = right.smoothing = 0.9978385f;
    std::vector<float> input ((size_t) blockSize * 2), buffer (input.size());
    std::mt19937 random (4);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

    for (auto& x : input)
        x = noise (random);

    for (auto _ : state)
    {
        buffer = input;
        DynamicRangeCompressor::processStereo (left, right, buffer.data(), buffer.data() + blockSize, blockSize);
        benchmark::DoNotOptimize (buffer.data());
    }

    reportRealTime (state, blockSize);
}

void Stage_DryWet_Stereo (benchmark::State& state)
{
    const int blockSize = (int) state.range (0);
    DryWetMixer_KT stage;
    stage.pendingWetProportion = 0.5f;
    stage.prepare ({ rate, (juce::uint32) blockSize, 2 });
    juce::AudioBuffer<float> buffer (2, blockSize);
    buffer.clear();

    for (auto _ : state)
    {
        juce::dsp::AudioBlock<float> block (buffer);
        stage.applyPendingWetProportion();
        stage.mixer.pushDrySamples (block);
        stage.mixer.mixWetSamples (block);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    reportRealTime (state, blockSize);
}
} // namespace

BENCHMARK (Stage_LaneKernel_Stereo)->ArgName ("block")->Arg (64)->Arg (512);
BENCHMARK (Stage_LaneKernel_Stereo_AVX2)->ArgName ("block")->Arg (512);
BENCHMARK (Stage_LaneKernel_Stereo_SSE4)->ArgName ("block")->Arg (512);
BENCHMARK (Stage_LaneKernel_Stereo_Portable)->ArgName ("block")->Arg (512);
BENCHMARK (Stage_Compressors_Stereo)->ArgName ("block")->Arg (64)->Arg (512);
BENCHMARK (Stage_DryWet_Stereo)->ArgName ("block")->Arg (64)->Arg (512);
