// The whole processor as a host drives it: a stream cut into blocks of any size, at any rate,
// with the host's play head reporting time and tempo every block, and input that is not finite.

#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace
{
/** A transport playing from the start at 120 bpm, as a host reports it per block. */
struct PlayingTransport : juce::AudioPlayHead
{
    explicit PlayingTransport (double rateToUse) : rate (rateToUse) {}

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setTimeInSamples (position);
        info.setTimeInSeconds ((double) position / rate);
        info.setBpm (120.0);
        info.setIsPlaying (true);
        return info;
    }

    double rate;
    juce::int64 position = 0;
};

/** Stereo noise (uniform, +-0.5) for `noiseSeconds`, then silence, `seconds` in all. */
juce::AudioBuffer<float> burstThenSilence (double rate, double noiseSeconds, double seconds)
{
    juce::AudioBuffer<float> input (2, (int) (seconds * rate));
    input.clear();
    std::mt19937 random (17);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

    for (int i = 0; i < (int) (noiseSeconds * rate); ++i)
        for (int c = 0; c < 2; ++c)
            input.setSample (c, i, noise (random));

    return input;
}

/** Renders the input through a fresh processor in blocks of the given sizes, taken in turn. */
juce::AudioBuffer<float> render (const juce::AudioBuffer<float>& input, double rate, const std::vector<int>& blockSizes,
                                 const std::function<void (OndulaDelayAudioProcessor&)>& setUp = {})
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();

    if (setUp)
        setUp (*processor);

    PlayingTransport transport (rate);
    processor->setPlayHead (&transport);
    processor->prepareToPlay (rate, 8192);

    juce::AudioBuffer<float> output (input);
    juce::MidiBuffer midi;
    size_t next = 0;

    for (int start = 0; start < output.getNumSamples();)
    {
        const int length = std::min (blockSizes[next++ % blockSizes.size()], output.getNumSamples() - start);
        juce::AudioBuffer<float> block (output.getArrayOfWritePointers(), 2, start, length);
        processor->processBlock (block, midi);
        transport.position += length;
        start += length;
    }

    processor->setPlayHead (nullptr);
    return output;
}

std::vector<int> randomBlockSizes (unsigned seed)
{
    std::mt19937 random (seed);
    std::uniform_int_distribution<int> size (1, 8192);
    std::vector<int> sizes (500);

    for (auto& s : sizes)
        s = size (random);

    return sizes;
}

/** The largest difference between two renders, and the worst ratio in dB of their RMS over any
    window of 50 ms that is above -60 dBFS in either. */
struct Difference
{
    float largest = 0.0f;
    double worstWindowDb = 0.0;
};

Difference compare (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, double rate)
{
    Difference d;
    const int window = (int) (0.05 * rate);

    for (int c = 0; c < 2; ++c)
        for (int start = 0; start + window <= a.getNumSamples(); start += window)
        {
            double sa = 0.0, sb = 0.0;

            for (int i = start; i < start + window; ++i)
            {
                const float x = a.getSample (c, i), y = b.getSample (c, i);
                d.largest = std::max (d.largest, std::abs (x - y));
                sa += (double) x * x;
                sb += (double) y * y;
            }

            const double ra = std::sqrt (sa / window), rb = std::sqrt (sb / window);

            if (std::max (ra, rb) > 1.0e-3)
                d.worstWindowDb = std::max (d.worstWindowDb, std::abs (20.0 * std::log10 ((rb + 1.0e-12) / (ra + 1.0e-12))));
        }

    return d;
}
} // namespace

TEST (PluginProcessorStream, TheSoundDoesNotDependOnHowTheHostCutsTheStreamAtAnyRate)
{
    // Default settings: the Ondula wave moves every tap's filter and delay. A burst of noise and
    // the echoes after it, rendered in blocks of 32, of the largest size, and of sizes that change
    // at every call.
    for (const double rate : { 44100.0, 48000.0, 96000.0, 192000.0, 384000.0 })
    {
        const auto input = burstThenSilence (rate, 0.2, 0.6);
        const auto reference = render (input, rate, { 32 });

        for (const auto& [name, sizes] : { std::pair<const char*, std::vector<int>> { "8192", { 8192 } },
                                           { "1 to 8192, changing", randomBlockSizes ((unsigned) rate) },
                                           { "7", { 7 } } })
        {
            const auto cut = render (input, rate, sizes);
            const auto d = compare (reference, cut, rate);
            EXPECT_LT (d.largest, 1.0e-6f) << rate << " Hz, blocks of " << name;
            EXPECT_LT (d.worstWindowDb, 0.01) << rate << " Hz, blocks of " << name;
        }
    }
}

TEST (PluginProcessorStream, NoNonFiniteSampleLeavesThePluginWhateverTheMix)
{
    // A NaN, an infinity of each sign, and the largest float in the input: the first three are
    // silence on the dry path as on the wet one; the output is exactly what a zero in their place
    // gives.
    const double rate = 48000.0;
    const auto clean = burstThenSilence (rate, 0.1, 0.3);
    auto poisoned = clean;
    const float bad[] { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity() };
    auto silenced = clean;

    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 2; ++c)
        {
            poisoned.setSample (c, 1000 + 2000 * k + c, bad[k]);
            silenced.setSample (c, 1000 + 2000 * k + c, 0.0f);
        }

    for (const auto& [dry, wet] : { std::pair { 0.0, 1.0 }, { 1.0, 0.0 }, { 1.0, 1.0 }, { 0.5, 0.5 } })
    {
        const auto mix = [dry = dry, wet = wet] (OndulaDelayAudioProcessor& p)
        {
            auto dynamics = p.stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_dynamics");
            dynamics.setProperty ("dry", dry, nullptr);
            dynamics.setProperty ("wet", wet, nullptr);
        };

        const auto out = render (poisoned, rate, { 256 }, mix);
        const auto expected = render (silenced, rate, { 256 }, mix);
        int nonFinite = 0;

        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < out.getNumSamples(); ++i)
                nonFinite += std::isfinite (out.getSample (c, i)) ? 0 : 1;

        EXPECT_EQ (nonFinite, 0) << "dry " << dry << ", wet " << wet;
        EXPECT_EQ (compare (out, expected, rate).largest, 0.0f) << "dry " << dry << ", wet " << wet;
    }
}
