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

/** What the host does at every block of a playing transport. */
enum class HostActivity
{
    relocates,        // a relocation at every block (a loop of one block)
    automatesThree,   // three parameters with a point every 16 samples
    automatesAll      // every parameter with a point every sample
};

/** The whole callback while the host plays: with a relocation at every block (what a move costs:
    the records worked out over the two seconds of wave before the new position), or with
    automated parameters. */
void runPlaying (benchmark::State& state, HostActivity activity)
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

        transport.position = activity == HostActivity::relocates ? (block % 2) * 480000 : transport.position + blockSize;

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

void Stereo48k_WholeProcessor_AllTaps_RelocatedEveryBlock (benchmark::State& state) { runPlaying (state, HostActivity::relocates); }
void Stereo48k_WholeProcessor_AllTaps_Automated (benchmark::State& state) { runPlaying (state, HostActivity::automatesThree); }
void Stereo48k_WholeProcessor_AllTaps_EveryParameterEverySample (benchmark::State& state)
{
    runPlaying (state, HostActivity::automatesAll);
}

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
BENCHMARK (Stereo48k_WholeProcessor_AllTaps_EveryParameterEverySample)->ArgName ("block")->Arg (4096)->Unit (benchmark::kMicrosecond);
BENCHMARK (Processor_ConstructAndDestroy)->Unit (benchmark::kMillisecond);
