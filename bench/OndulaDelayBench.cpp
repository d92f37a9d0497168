// How fast does the delay engine run? Real-time factor = seconds of stereo audio per second.
//   ondula_bench --benchmark_filter=Stereo48k

#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace
{
constexpr double rate = 48000.0;

void setProperty (OndulaDelayAudioProcessor& p, const char* group, const char* node, const char* property, const juce::var& v)
{
    p.stateTree.getChildWithName (group).getChildWithName (node).setProperty (property, v, nullptr);
}

/** Every tap on, every Ondula quantity weighted 1 and the wave moving at about 2 Hz. */
void allTapsModulated (OndulaDelayAudioProcessor& p)
{
    const char* all = "11111111111111111111111111111111";
    setProperty (p, "delay", "delay_pattern", "pattern_l", all);
    setProperty (p, "delay", "delay_pattern", "pattern_r", all);
    setProperty (p, "delay", "delay_globals_ondula", "amount", 1.0);
    setProperty (p, "delay", "delay_globals_ondula", "time_mode", 0);
    setProperty (p, "delay", "delay_globals_ondula", "velocity", 0.7);
    setProperty (p, "delay", "delay_globals_time", "feedback_amplitude", 0.5);

    for (const char* node : { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" })
        setProperty (p, "ondula", node, "curve", "0 1 0\n");
}

struct StereoEngines
{
    StereoEngines (int blockSize, bool allTaps, TapLaneKernel::Path path)
        : processor (std::make_unique<OndulaDelayAudioProcessor>()), buffer (2, blockSize)
    {
        if (allTaps)
            allTapsModulated (*processor);

        processor->prepareToPlay (rate, blockSize);
        processor->leftDelay.setLanePath (path);
        processor->rightDelay.setLanePath (path);

        std::mt19937 random (1);
        std::uniform_real_distribution<float> noise (-0.5f, 0.5f);
        input.resize ((size_t) blockSize * 2);

        for (auto& x : input)
            x = noise (random);
    }

    void render()
    {
        const int n = buffer.getNumSamples();
        float* channels[2] { buffer.getWritePointer (0), buffer.getWritePointer (1) };

        for (int c = 0; c < 2; ++c)
            std::copy_n (input.data() + c * n, n, channels[c]);

        juce::dsp::AudioBlock<float> left (channels, 1, (size_t) n), right (channels + 1, 1, (size_t) n);
        OndulaDelay::processStereo (processor->leftDelay, processor->rightDelay,
                                    juce::dsp::ProcessContextReplacing<float> (left),
                                    juce::dsp::ProcessContextReplacing<float> (right));
    }

    std::unique_ptr<OndulaDelayAudioProcessor> processor;
    juce::AudioBuffer<float> buffer;
    std::vector<float> input;
};

/** A block of stereo noise (uniform, +-0.5), the same at every run. */
juce::AudioBuffer<float> stereoNoise (int blockSize)
{
    juce::AudioBuffer<float> input (2, blockSize);
    std::mt19937 random (2);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < blockSize; ++i)
            input.setSample (c, i, noise (random));

    return input;
}

void reportRealTime (benchmark::State& state, int blockSize)
{
    const double seconds = (double) state.iterations() * blockSize / rate;
    state.counters["realtime_x"] = benchmark::Counter (seconds, benchmark::Counter::kIsRate);
}

void runEngines (benchmark::State& state, bool allTaps, TapLaneKernel::Path path)
{
    const int blockSize = (int) state.range (0);
    StereoEngines engines (blockSize, allTaps, path);

    for (auto _ : state)
    {
        engines.render();
        benchmark::DoNotOptimize (engines.buffer.getReadPointer (0));
    }

    reportRealTime (state, blockSize);
}

void Stereo48k_AllTaps (benchmark::State& state) { runEngines (state, true, TapLaneKernel::Path::automatic); }
void Stereo48k_DefaultPatterns (benchmark::State& state) { runEngines (state, false, TapLaneKernel::Path::automatic); }
void Stereo48k_AllTaps_PortableOnly (benchmark::State& state) { runEngines (state, true, TapLaneKernel::Path::portable); }

/** The whole plug-in callback: engines, compressors and the dry/wet stage. */
void Stereo48k_WholeProcessor_AllTaps (benchmark::State& state)
{
    const int blockSize = (int) state.range (0);
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    allTapsModulated (*processor);
    processor->prepareToPlay (rate, blockSize);
    const auto input = stereoNoise (blockSize);
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;

    for (auto _ : state)
    {
        buffer.makeCopyOf (input, true);
        processor->processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    reportRealTime (state, blockSize);
}

/** A transport that plays and, when asked, relocates at every block (a loop of one block). */
struct LoopingTransport : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setIsPlaying (true);
        info.setTimeInSamples (position);
        info.setTimeInSeconds ((double) position / rate);
        info.setBpm (120.0);
        return info;
    }

    juce::int64 position = 0;
};

/** How the host's reported position moves from call to call. */
enum class HostMotion
{
    playback,   // speed 1
    relocate,   // 0 and 10 s in turn (a scrub: each engine keeps the records' warm-ups of both
                // places, so a move costs the two pieces before the position;
                // Stereo48k_OneMove_AllTaps measures a move to a new place)
    halfSpeed,  // varispeed
    doubleSpeed,
    standStill, // a play head that never advances
    scrub       // a call back and forth
};

juce::int64 reportedPosition (HostMotion motion, int block, int blockSize)
{
    switch (motion)
    {
        case HostMotion::playback:   return (juce::int64) block * blockSize;
        case HostMotion::relocate:   return (block % 2) * 480000;
        case HostMotion::halfSpeed:  return (juce::int64) block * blockSize / 2;
        case HostMotion::doubleSpeed: return (juce::int64) block * blockSize * 2;
        case HostMotion::standStill: return 0;
        case HostMotion::scrub:      return 480000 + (block % 2) * blockSize;
    }

    return 0;
}

/** What the host automates at every block. */
enum class HostActivity
{
    none,
    automatesThree,   // three parameters with a point every 16 samples
    automatesAll      // every parameter with a point every sample
};

/** The whole callback while the host plays as `motion` says, automating as `activity` says. */
void runPlaying (benchmark::State& state, HostMotion motion, HostActivity activity = HostActivity::none)
{
    const int blockSize = (int) state.range (0);
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    allTapsModulated (*processor);
    LoopingTransport transport;
    processor->setPlayHead (&transport);
    processor->prepareToPlay (rate, blockSize);
    const auto input = stereoNoise (blockSize);
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;

    // Every parameter's line: a ramp from its own start, a little further at every point.
    std::vector<float> lines ((size_t) OndulaDelayAudioProcessor::numParameters);

    for (size_t p = 0; p < lines.size(); ++p)
        lines[p] = (float) p / (float) lines.size();

    int block = 0;

    for (auto _ : state)
    {
        buffer.makeCopyOf (input, true);

        transport.position = reportedPosition (motion, block, blockSize);

        if (activity == HostActivity::automatesThree)
        {
            processor->hostCallBegins (blockSize);

            for (int offset = 0; offset < blockSize; offset += 16)
            {
                const float ramp = (float) ((block * blockSize + offset) % 48000) / 48000.0f;
                processor->hostParameterPoint (22, offset, ramp);        // the Ondula amount
                processor->hostParameterPoint (27, offset, 1.0f - ramp); // wet
                processor->hostParameterPoint (0, offset, ramp);         // the frequency automation's value
            }
        }
        else if (activity == HostActivity::automatesAll)
        {
            processor->hostCallBegins (blockSize);

            for (int p = 0; p < OndulaDelayAudioProcessor::numParameters; ++p)
            {
                auto& value = lines[(size_t) p];

                for (int offset = 0; offset < blockSize; ++offset)
                {
                    value += 1.0f / 48000.0f;
                    value = value < 1.0f ? value : value - 1.0f;
                    processor->hostParameterPoint (p, offset, value);
                }
            }
        }

        processor->processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
        ++block;
    }

    processor->setPlayHead (nullptr);
    reportRealTime (state, blockSize);
}

void Stereo48k_WholeProcessor_AllTaps_RelocatedEveryBlock (benchmark::State& state) { runPlaying (state, HostMotion::relocate); }
void Stereo48k_WholeProcessor_AllTaps_Automated (benchmark::State& state) { runPlaying (state, HostMotion::playback, HostActivity::automatesThree); }
void Stereo48k_WholeProcessor_AllTaps_EveryParameterEverySample (benchmark::State& state)
{
    runPlaying (state, HostMotion::playback, HostActivity::automatesAll);
}

// A host that moves at every call: each against playback at the same block size.
void Stereo48k_WholeProcessor_AllTaps_Playing (benchmark::State& state) { runPlaying (state, HostMotion::playback); }
void Stereo48k_WholeProcessor_AllTaps_HalfSpeed (benchmark::State& state) { runPlaying (state, HostMotion::halfSpeed); }
void Stereo48k_WholeProcessor_AllTaps_DoubleSpeed (benchmark::State& state) { runPlaying (state, HostMotion::doubleSpeed); }
void Stereo48k_WholeProcessor_AllTaps_StandingStill (benchmark::State& state) { runPlaying (state, HostMotion::standStill); }
void Stereo48k_WholeProcessor_AllTaps_Scrubbing (benchmark::State& state) { runPlaying (state, HostMotion::scrub); }

/** One move of one instance: both engines placed at a new position of the timeline, then one
    sample rendered (the records are worked out before it, over the two seconds of wave before the
    position). The positions lie 100 samples into a piece, so the sample starts no piece of its own. With
    samePlace, every move goes to the same position with the same settings (a loop). */
void runMoves (benchmark::State& state, bool samePlace, TapLaneKernel::Path path)
{
    StereoEngines engines (1, true, path);
    auto& left = engines.processor->leftDelay;
    auto& right = engines.processor->rightDelay;
    const int piece = left.pieceSamples();
    int64_t pieceIndex = 937; // about 10 s

    for (auto _ : state)
    {
        // Before and after 0 in turn, never the same piece twice.
        if (! samePlace)
            pieceIndex = pieceIndex > 0 ? -(pieceIndex + 657) : -pieceIndex + 1031;

        const int64_t position = pieceIndex * piece + 100;
        left.moveToTimeline (position);
        right.moveToTimeline (position);
        engines.render();
        benchmark::DoNotOptimize (engines.buffer.getReadPointer (0));
    }

    // The time of one core per move.
    state.counters["per_move"] = benchmark::Counter (1.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Stereo48k_OneMove_AllTaps (benchmark::State& state) { runMoves (state, false, TapLaneKernel::Path::automatic); }
void Stereo48k_OneMove_AllTaps_SamePlace (benchmark::State& state) { runMoves (state, true, TapLaneKernel::Path::automatic); }
void Stereo48k_OneMove_AllTaps_PortableOnly (benchmark::State& state) { runMoves (state, false, TapLaneKernel::Path::portable); }

/** Creating and destroying one plug-in instance (two 2^23-sample lines inside it). */
void Processor_ConstructAndDestroy (benchmark::State& state)
{
    for (auto _ : state)
    {
        auto processor = std::make_unique<OndulaDelayAudioProcessor>();
        benchmark::DoNotOptimize (processor.get());
    }
}
} // namespace

BENCHMARK (Stereo48k_AllTaps)->ArgName ("block")->Arg (1)->Arg (16)->Arg (32)->Arg (64)->Arg (512)->Arg (4096);
BENCHMARK (Stereo48k_DefaultPatterns)->ArgName ("block")->Arg (32)->Arg (64)->Arg (512);
BENCHMARK (Stereo48k_AllTaps_PortableOnly)->ArgName ("block")->Arg (64)->Arg (512);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps)->ArgName ("block")->Arg (1)->Arg (16)->Arg (64)->Arg (512)->Arg (4096);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_RelocatedEveryBlock)->ArgName ("block")->Arg (64)->Arg (512)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_Automated)->ArgName ("block")->Arg (64)->Arg (512)->Arg (4096);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_Playing)->ArgName ("block")->Arg (64)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_HalfSpeed)->ArgName ("block")->Arg (64)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_DoubleSpeed)->ArgName ("block")->Arg (64)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_StandingStill)->ArgName ("block")->Arg (64)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_Scrubbing)->ArgName ("block")->Arg (64)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_OneMove_AllTaps)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_OneMove_AllTaps_SamePlace)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_OneMove_AllTaps_PortableOnly)->Unit (benchmark::kMicrosecond);
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_EveryParameterEverySample)->ArgName ("block")->Arg (4096)->Unit (benchmark::kMicrosecond);
BENCHMARK (Processor_ConstructAndDestroy)->Unit (benchmark::kMillisecond);
