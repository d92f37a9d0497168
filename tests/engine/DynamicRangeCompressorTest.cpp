#include "engine/DynamicRangeCompressor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{
juce::ValueTree makeRoot (double threshold, double slope)
{
    juce::ValueTree root ("top"), delay ("delay"), dynamics ("delay_globals_dynamics");
    dynamics.setProperty ("dry", 0.5, nullptr);
    dynamics.setProperty ("wet", 0.5, nullptr);
    dynamics.setProperty ("compressor_threshold", threshold, nullptr);
    dynamics.setProperty ("compressor_slope", slope, nullptr);
    delay.appendChild (dynamics, nullptr);
    root.appendChild (delay, nullptr);
    return root;
}

/** The gain law written out once more: the target gain for a chunk's mean absolute value. */
float expectedTarget (float meanAbs, float thresholdDb, float slope)
{
    float level = 20.0f * std::log10 (meanAbs);
    level = std::isnan (level) ? 0.0f : std::min (0.0f, std::max (-96.0f, level));
    const float over = (level - thresholdDb) / 5.0f;
    const double g = 5.0 * ((double) slope - 1.0) * std::log10 (1.0 + std::pow (10.0, (double) over));
    const float out = (float) ((double) level + g);
    return (float) std::pow (10.0, (double) ((out - level) / 20.0f));
}

struct CountingCompressor : DynamicRangeCompressor
{
    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override
    {
        ++calls;
        DynamicRangeCompressor::valueTreePropertyChanged (tree, property);
    }

    int calls = 0;
};
} // namespace

TEST (DynamicRangeCompressor, BindingTakesThresholdAndSlopeOnce)
{
    auto root = makeRoot (0.25, 0.75);
    CountingCompressor compressor;
    compressor.setValueTree (root);
    compressor.setValueTree (root);

    EXPECT_EQ (compressor.thresholdDb.load(), -45.0f);
    EXPECT_EQ (compressor.slope.load(), 0.5f);

    compressor.calls = 0;
    root.getChild (0).getChild (0).setProperty ("compressor_slope", 1.0, nullptr);
    EXPECT_EQ (compressor.calls, 1);
    EXPECT_EQ (compressor.slope.load(), 1.0f);
}

TEST (DynamicRangeCompressor, ANodeWithoutBothPropertiesIsNotListenedTo)
{
    auto root = makeRoot (0.25, 0.75);
    auto dynamics = root.getChild (0).getChild (0);
    dynamics.removeProperty ("compressor_slope", nullptr);

    DynamicRangeCompressor compressor;
    compressor.setValueTree (root);
    EXPECT_EQ (compressor.thresholdDb.load(), -30.0f);

    dynamics.setProperty ("compressor_threshold", 0.0, nullptr);
    EXPECT_EQ (compressor.thresholdDb.load(), -30.0f);

    DynamicRangeCompressor unbound;
    unbound.setValueTree (juce::ValueTree ("top"));
    EXPECT_FALSE (unbound.globalsDynamicsTree.isValid());
}

TEST (DynamicRangeCompressor, FirstChunkAfterConstructionIsSilentThenTheGainRises)
{
    DynamicRangeCompressor compressor;
    compressor.smoothing = 0.9978385f;
    std::vector<float> buffer (250, 0.5f);
    compressor.processSamples (buffer.data(), buffer.data(), 250);

    for (int i = 0; i < 100; ++i)
        ASSERT_EQ (buffer[(size_t) i], 0.0f) << i;

    EXPECT_GT (buffer[100], 0.0f);
    EXPECT_GT (buffer[249], buffer[100]);
}

TEST (DynamicRangeCompressor, ChunksOfAHundredRunOnAcrossBlocks)
{
    DynamicRangeCompressor compressor;
    compressor.thresholdDb = -30.0f;
    compressor.slope = 0.0f;

    std::vector<float> block (250, 0.0f);
    for (size_t i = 0; i < 100; ++i) block[i] = 1.0f;
    for (size_t i = 100; i < 200; ++i) block[i] = 0.1f;
    for (size_t i = 200; i < 250; ++i) block[i] = (i % 2 == 0) ? 0.02f : -0.06f; // mean |x| 0.04

    float secondChunk = 0.0f;
    for (size_t i = 100; i < 200; ++i) secondChunk += block[i];

    std::vector<float> out (250);
    compressor.processSamples (block.data(), out.data(), 250);
    const float afterSecondChunk = expectedTarget (secondChunk / 100.0f, -30.0f, 0.0f);
    EXPECT_EQ (compressor.targetGain, afterSecondChunk) << "the last whole chunk sets the target";

    // The next block completes the chunk of 50 the first one began; a block ending inside a chunk
    // leaves the target as it was.
    std::vector<float> quiet (30, 0.001f);
    compressor.processSamples (quiet.data(), quiet.data(), 30);
    EXPECT_EQ (compressor.targetGain, afterSecondChunk);

    std::vector<float> rest (20, 0.003f);
    compressor.processSamples (rest.data(), rest.data(), 20);

    float sum = 0.0f;
    for (size_t i = 200; i < 250; ++i) sum += std::abs (block[i]);
    for (int i = 0; i < 30; ++i) sum += 0.001f;
    for (int i = 0; i < 20; ++i) sum += 0.003f;
    EXPECT_EQ (compressor.targetGain, expectedTarget (sum / 100.0f, -30.0f, 0.0f));
}

TEST (DynamicRangeCompressor, TheStreamComesOutTheSameWhateverTheBlocks)
{
    std::vector<float> stream (3000);
    unsigned seed = 7;

    for (auto& x : stream)
    {
        seed = seed * 1664525u + 1013904223u;
        x = 0.8f * ((float) (seed >> 8) / 8388608.0f - 1.0f);
    }

    std::vector<float> reference;

    for (int blockSize : { 100, 1, 7, 64, 333, 3000 })
    {
        DynamicRangeCompressor compressor;
        compressor.setValueTree (makeRoot (0.2, 0.0));
        compressor.smoothing = 0.9978385f;
        auto samples = stream;

        for (int start = 0; start < (int) samples.size(); start += blockSize)
            compressor.processSamples (samples.data() + start, samples.data() + start,
                                       std::min (blockSize, (int) samples.size() - start));

        if (reference.empty())
            reference = samples;
        else
            EXPECT_EQ (samples, reference) << "blocks of " << blockSize;
    }
}

TEST (DynamicRangeCompressor, GainLawWorkedValues)
{
    const struct { float level, threshold, slope, gainDb, tolerance; } cases[] = {
        { 1.0f, -30.0f, 0.0f, -30.0f, 0.05f },     // far above: held at the threshold
        { 0.316227766f, -30.0f, 0.0f, -20.0f, 0.05f },
        { 0.1f, 0.0f, 0.0f, -0.0002f, 0.0001f },  // the tree's defaults, a -20 dB chunk
        { 1.0f, 0.0f, 0.0f, -1.505f, 0.001f },    // at the threshold: K (s - 1) log10 2
    };

    for (const auto& c : cases)
    {
        DynamicRangeCompressor compressor;
        compressor.thresholdDb = c.threshold;
        compressor.slope = c.slope;
        std::vector<float> chunk (100, c.level);
        compressor.processSamples (chunk.data(), chunk.data(), 100);
        EXPECT_NEAR (20.0f * std::log10 (compressor.targetGain), c.gainDb, c.tolerance) << "level " << c.level;
    }
}

TEST (DynamicRangeCompressor, SlopeOneAndSilenceGiveExactlyUnityGain)
{
    for (const float threshold : { -60.0f, -30.0f, 0.0f })
    {
        for (const float slope : { -1.0f, -0.5f, 0.0f, 0.5f, 1.0f })
        {
            DynamicRangeCompressor compressor;
            compressor.thresholdDb = threshold;
            compressor.slope = slope;

            std::vector<float> silence (100, 0.0f);
            compressor.processSamples (silence.data(), silence.data(), 100);
            EXPECT_EQ (compressor.targetGain, 1.0f) << threshold << " " << slope;
        }

        DynamicRangeCompressor unity;
        unity.thresholdDb = threshold;
        unity.slope = 1.0f;

        for (const float level : { 1.0e-6f, 0.3f, 1.0f, 8.0f })
        {
            std::vector<float> chunk (100, level);
            unity.processSamples (chunk.data(), chunk.data(), 100);
            EXPECT_EQ (unity.targetGain, 1.0f) << level;
        }
    }
}

TEST (DynamicRangeCompressor, NonFiniteInputIsMeasuredAsFullScaleAndTheGainStaysFinite)
{
    for (const float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
    {
        DynamicRangeCompressor compressor;
        compressor.thresholdDb = -30.0f;
        compressor.slope = 0.0f;

        std::vector<float> chunk (100, 0.01f);
        chunk[50] = bad;
        compressor.processSamples (chunk.data(), chunk.data(), 100);
        EXPECT_FLOAT_EQ (compressor.targetGain, expectedTarget (1.0f, -30.0f, 0.0f));

        std::vector<float> after (300, 0.25f);
        compressor.processSamples (after.data(), after.data(), 300);
        EXPECT_TRUE (std::isfinite (compressor.currentGain));
        EXPECT_TRUE (std::isfinite (after.back()));
    }
}

TEST (DynamicRangeCompressor, EmptyBlocksChangeNothing)
{
    DynamicRangeCompressor compressor;
    compressor.currentGain = 0.3f;
    compressor.targetGain = 0.7f;
    float sample = 1.0f;
    compressor.processSamples (&sample, &sample, 0);
    compressor.processSamples (&sample, &sample, -5);
    EXPECT_EQ (compressor.currentGain, 0.3f);
    EXPECT_EQ (compressor.targetGain, 0.7f);
    EXPECT_EQ (sample, 1.0f);
}

TEST (DynamicRangeCompressor, AStereoPairGivesExactlyWhatEachCompressorGivesAlone)
{
    // Block lengths around the chunk length, different settings on the two sides, and a
    // non-finite sample in one block.
    DynamicRangeCompressor left, right, leftAlone, rightAlone;
    left.setValueTree (makeRoot (0.4, 0.1));
    leftAlone.setValueTree (makeRoot (0.4, 0.1));
    right.setValueTree (makeRoot (0.9, 0.75));
    rightAlone.setValueTree (makeRoot (0.9, 0.75));

    for (auto* c : { &left, &right, &leftAlone, &rightAlone })
        c->smoothing = 0.9978385f;

    unsigned seed = 1;
    const auto noise = [&seed] (float amplitude)
    {
        seed = seed * 1664525u + 1013904223u;
        return amplitude * ((float) (seed >> 8) / 8388608.0f - 1.0f);
    };

    for (int n : { 1, 99, 100, 101, 250, 512, 64, 0, 7 })
    {
        std::vector<float> l ((size_t) n), r ((size_t) n);

        for (int i = 0; i < n; ++i)
        {
            l[(size_t) i] = noise (1.5f);
            r[(size_t) i] = noise (0.2f);
        }

        if (n == 250)
            r[130] = std::numeric_limits<float>::infinity();

        auto expectedL = l, expectedR = r;
        leftAlone.processSamples (expectedL.data(), expectedL.data(), n);
        rightAlone.processSamples (expectedR.data(), expectedR.data(), n);
        DynamicRangeCompressor::processStereo (left, right, l.data(), r.data(), n);

        EXPECT_EQ (l, expectedL) << n << " samples";
        EXPECT_EQ (r, expectedR) << n << " samples";
        EXPECT_EQ (left.currentGain, leftAlone.currentGain) << n;
        EXPECT_EQ (right.targetGain, rightAlone.targetGain) << n;
    }
}
