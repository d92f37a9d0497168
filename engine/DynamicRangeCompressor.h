#pragma once

#include "engine/TreeOrHostValue.h"

#include <juce_data_structures/juce_data_structures.h>

#include <atomic>
#include <cstdint>

/** Feed-forward compressor of one channel's wet signal: the mean absolute level of each chunk of
    100 samples sets a soft-knee target gain that the applied gain follows sample by sample. The
    chunks lie on the stream, not on the host's blocks: a block may end inside a chunk, and the
    next one completes it, so the gain does not depend on how the stream is cut. */
class DynamicRangeCompressor : public juce::ValueTree::Listener
{
public:
    DynamicRangeCompressor() = default;
    ~DynamicRangeCompressor() override = default;

    /** Binds to "delay_globals_dynamics" under the root and takes its threshold and slope. */
    void setValueTree (juce::ValueTree root);

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;

    /** A host parameter's value of the threshold or the slope (normalised 0..1), from the next
        chunk on; it stands until the host sends another or the tree makes an edit of its own to
        that setting (the tree's echo of the same host value changes nothing). Audio thread. */
    void setThresholdFromHost (float normalised) noexcept;
    void setSlopeFromHost (float normalised) noexcept;

    /** Tree's thread, after a state load: the tree's threshold and slope are edits of its own again,
        so a host value standing from before gives way. */
    void takeTreeAsEdits() noexcept
    {
        thresholdDb.takeTreeAsEdit();
        slope.takeTreeAsEdit();
    }

    /** Lines the chunks up with the timeline: a chunk ends at every multiple of chunkLength. The
        chunk under way when the timeline jumps is measured over the samples it got and sets the
        gain, so a host that moves often (scrubbing) still has its level followed. Audio thread. */
    void moveToTimeline (int64_t position) noexcept;

    /** Forgets the gain and the chunk under way, as a new compressor starts. Outside processing. */
    void reset() noexcept;

    /** In place is allowed: each input sample is read before its output is written. */
    void processSamples (const float* input, float* output, int numSamples) noexcept;

    /** The compressors of a stereo pair, each on its own channel in place, in one pass: exactly
        what two processSamples calls give, in about half the time, since each channel's gain
        recursion hides the latency of the other's. */
    static void processStereo (DynamicRangeCompressor& left, DynamicRangeCompressor& right,
                               float* leftSamples, float* rightSamples, int numSamples) noexcept;

    static constexpr int chunkLength = 100;

    juce::ValueTree globalsDynamicsTree;
    // Taken from the tree by the listener (message thread) and from the host (audio thread);
    // read once per chunk by the audio thread.
    TreeOrHostValue thresholdDb { -30.0f };
    TreeOrHostValue slope { 0.5f };
    const float knee = 5.0f;
    float currentGain = 0.0f; // audio thread only
    float targetGain = 0.0f;  // audio thread only
    int chunkFill = 0;        // audio thread only: place in the current chunk
    int chunkCount = 0;       // audio thread only: samples of the current chunk measured so far
    float chunkSum = 0.0f;    // audio thread only: their absolute values added up
    float smoothing = 0.9f;   // set by the processor before any audio runs

private:
    void finishChunk (float sum, int length) noexcept;
    static void finishChunks (DynamicRangeCompressor* const* compressors, const float* sums, int count, int length) noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DynamicRangeCompressor)
};
