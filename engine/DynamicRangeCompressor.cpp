#include "engine/DynamicRangeCompressor.h"

#include <algorithm>
#include <cmath>

void DynamicRangeCompressor::setValueTree (juce::ValueTree root)
{
    const auto node = root.getChildWithName ("delay").getChildWithName ("delay_globals_dynamics");

    if (! node.isValid())
        return;

    globalsDynamicsTree = node;

    if (! (globalsDynamicsTree.hasProperty ("compressor_slope") && globalsDynamicsTree.hasProperty ("compressor_threshold")))
        return;

    globalsDynamicsTree.addListener (this);
    globalsDynamicsTree.sendPropertyChangeMessage ("compressor_slope");
    globalsDynamicsTree.sendPropertyChangeMessage ("compressor_threshold");
}

void DynamicRangeCompressor::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property)
{
    static const juce::Identifier slopeId ("compressor_slope");
    static const juce::Identifier thresholdId ("compressor_threshold");

    if (! tree.isValid() || (property != slopeId && property != thresholdId))
        return;

    const auto v = static_cast<float> (static_cast<double> (tree.getProperty (property)));

    // A non-finite value from a loaded state would leave the gain NaN for good: keep the setting.
    if (! std::isfinite (v))
        return;

    if (property == slopeId)
        slope.takeFromTree ((v + v) - 1.0f);
    else
        thresholdDb.takeFromTree (v * 60.0f - 60.0f);
}

void DynamicRangeCompressor::setThresholdFromHost (float normalised) noexcept
{
    thresholdDb.takeFromHost (normalised * 60.0f - 60.0f);
}

void DynamicRangeCompressor::setSlopeFromHost (float normalised) noexcept
{
    slope.takeFromHost ((normalised + normalised) - 1.0f);
}

void DynamicRangeCompressor::moveToTimeline (int64_t position) noexcept
{
    if (chunkCount > 0)
        finishChunk (chunkSum, chunkCount);

    const auto place = position % chunkLength;
    chunkFill = (int) (place < 0 ? place + chunkLength : place);
    chunkCount = 0;
    chunkSum = 0.0f;
}

void DynamicRangeCompressor::reset() noexcept
{
    currentGain = 0.0f;
    targetGain = 0.0f;
    chunkFill = 0;
    chunkCount = 0;
    chunkSum = 0.0f;
}

void DynamicRangeCompressor::processSamples (const float* input, float* output, int numSamples) noexcept
{
    if (numSamples <= 0)
        return;

    const float c = smoothing;
    float gain = currentGain;

    for (int start = 0; start < numSamples;)
    {
        const int length = std::min (chunkLength - chunkFill, numSamples - start);
        const float pull = (1.0f - c) * targetGain; // the same for every sample of the chunk
        float sum = chunkSum;

        for (int i = start; i < start + length; ++i)
        {
            const float x = input[i];
            gain = c * gain + pull;
            output[i] = gain * x;
            sum += std::abs (x);
        }

        start += length;
        chunkFill += length;
        chunkCount += length;
        chunkSum = sum;

        if (chunkFill == chunkLength)
            finishChunk (sum, chunkCount);
    }

    currentGain = gain;
}

void DynamicRangeCompressor::processStereo (DynamicRangeCompressor& left, DynamicRangeCompressor& right,
                                            float* leftSamples, float* rightSamples, int numSamples) noexcept
{
    // The pair shares one chunk grid from its first block on; should the grids ever part (one
    // compressor run alone), each runs on its own.
    if (&left == &right || left.chunkFill != right.chunkFill || left.chunkCount != right.chunkCount)
    {
        left.processSamples (leftSamples, leftSamples, numSamples);
        right.processSamples (rightSamples, rightSamples, numSamples);
        return;
    }

    if (numSamples <= 0)
        return;

    const float cl = left.smoothing, cr = right.smoothing;
    float gl = left.currentGain, gr = right.currentGain;

    for (int start = 0; start < numSamples;)
    {
        const int length = std::min (chunkLength - left.chunkFill, numSamples - start);
        const float pullL = (1.0f - cl) * left.targetGain;
        const float pullR = (1.0f - cr) * right.targetGain;
        float sumL = left.chunkSum, sumR = right.chunkSum;

        for (int i = start; i < start + length; ++i)
        {
            const float xl = leftSamples[i];
            const float xr = rightSamples[i];
            gl = cl * gl + pullL;
            gr = cr * gr + pullR;
            leftSamples[i] = gl * xl;
            rightSamples[i] = gr * xr;
            sumL += std::abs (xl);
            sumR += std::abs (xr);
        }

        start += length;
        left.chunkFill += length;
        right.chunkFill += length;
        left.chunkCount += length;
        right.chunkCount += length;
        left.chunkSum = sumL;
        right.chunkSum = sumR;

        if (left.chunkFill == chunkLength)
        {
            DynamicRangeCompressor* both[2] { &left, &right };
            const float sums[2] { sumL, sumR };
            finishChunks (both, sums, 2, left.chunkCount);
        }
    }

    left.currentGain = gl;
    right.currentGain = gr;
}

void DynamicRangeCompressor::finishChunk (float sum, int length) noexcept
{
    DynamicRangeCompressor* self = this;
    finishChunks (&self, &sum, 1, length);
}

void DynamicRangeCompressor::finishChunks (DynamicRangeCompressor* const* compressors, const float* sums, int count,
                                           int length) noexcept
{
    // Each stage runs for every compressor before the next, so that their library calls overlap;
    // each compressor's values are formed exactly as on its own.
    constexpr int most = 2;
    float level[most], over[most];
    double gainDb[most];

    for (int c = 0; c < count; ++c)
    {
        // A NaN sample would otherwise poison the gain for good; measure such a chunk as full
        // scale, just as an infinite one already is.
        const float sum = std::isnan (sums[c]) ? static_cast<float> (length) : sums[c];
        const float l = 20.0f * std::log10 (sum / static_cast<float> (length));
        level[c] = l < -96.0f ? -96.0f : (l > 0.0f ? 0.0f : l);
    }

    for (int c = 0; c < count; ++c)
    {
        auto& k = *compressors[c];
        over[c] = (level[c] - k.thresholdDb.played()) / k.knee;
    }

    for (int c = 0; c < count; ++c)
    {
        auto& k = *compressors[c];
        const float s = k.slope.played();
        gainDb[c] = (double) k.knee * ((double) s - 1.0) * std::log10 (1.0 + std::pow (10.0, (double) over[c]));

        if (std::isnan (gainDb[c])) // slope 1 against an infinite overshoot: 0 * inf
            gainDb[c] = 0.0;
    }

    for (int c = 0; c < count; ++c)
    {
        const auto outputLevel = static_cast<float> ((double) level[c] + gainDb[c]);
        const float g = outputLevel - level[c];
        compressors[c]->targetGain = static_cast<float> (std::pow (10.0, (double) (g / 20.0f)));
        compressors[c]->chunkFill = 0;
        compressors[c]->chunkCount = 0;
        compressors[c]->chunkSum = 0.0f;
    }
}
