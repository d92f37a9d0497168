#pragma once

#include <cstdint>

/** The per-sample inner loop of the delay engine, for one channel or for the two channels of a
    stereo pair at once: reads each lane's tap from its channel's delay line with a linearly moving
    whole-sample delay, runs it through the lane's band-pass biquad, whose coefficients and gain
    move linearly across the engine's control piece, and sums the lanes into the channel's output.

    Every ramp (and every lane's delay) is given as its value at ramp position 0, the piece's
    first sample, and its change per position. At every position that is a multiple of 64 it is
    set afresh to start + position * change, and steps along by adding the change in between.
    A sample's values therefore depend only on its position, so a piece rendered in one call or
    in several gives the same samples; and no running sum is longer than 64 steps (over thousands
    of samples one in single precision drifts by whole steps of its last bit, enough to push the
    poles of a narrow band-pass at a high sample rate outside the unit circle).

    One source serves every instruction set (SSSE3, SSE4, AVX2, AVX-512 on x86, NEON on Arm, and a
    one-lane build of the same code), chosen at run time; a plain one-lane-at-a-time rendering
    stays as the reference. Every path does the same single-precision operations in the same order
    per lane, so their results are identical. */
class TapLaneKernel
{
public:
    static constexpr int lineSize = 1 << 23;
    static constexpr int groupsPerChannel = 8;
    static constexpr int lanesPerGroup = 4;
    static constexpr int maxChannels = 2;
    static constexpr int slotsPerPlane = groupsPerChannel * maxChannels;
    static constexpr int slots = slotsPerPlane * lanesPerGroup;

    enum class Path
    {
        automatic, // the widest this processor runs
        portable,  // the reference: one lane at a time, any coefficients
        scalar,    // the vector source built one lane wide
        ssse3,
        sse4,
        avx2,
        avx512,
        neon
    };

    /** Where lane k of group g of channel c sits in the Lanes arrays: lane k of every group forms
        one plane, so that a group's four lanes are added with whole-vector operations. */
    static constexpr int slot (int channel, int group, int lane) noexcept
    {
        return lane * slotsPerPlane + channel * groupsPerChannel + group;
    }

    /** Per-lane inputs and filter memory of one block, laid out for vector loads. */
    struct alignas (64) Lanes
    {
        int32_t start[slots];          // line position of the block's sample 0 at the lane's starting delay
        float step[slots];             // delay change per ramp position, in samples
        float b0[slots], b1[slots], b2[slots], a1[slots], a2[slots];
        float gain[slots];             // values of the ramps at position 0
        float db0[slots], db1[slots], db2[slots], da1[slots], da2[slots];
        float dgain[slots];            // changes of the ramps per position
        float x1[slots], x2[slots], x3[slots]; // last inputs, most recent first
        float y1[slots], y2[slots], y3[slots]; // last clamped outputs, before the gain
        int groups[maxChannels] {};    // groups run per channel; the others keep their memory
    };

    /** The feedback path of each channel for one block, read from the channel's line like a lane
        and filtered by its own ramped band-pass; lane 2 and 3 are free. */
    struct alignas (16) Feedback
    {
        static constexpr int lanes = 4;

        int32_t start[lanes];      // line position of the block's sample 0 at the starting delay
        int32_t writeStart[lanes]; // line position of the block's first sample
        float step[lanes];
        float b0[lanes], b1[lanes], b2[lanes], a1[lanes], a2[lanes], gain[lanes];
        float db0[lanes], db1[lanes], db2[lanes], da1[lanes], da2[lanes], dgain[lanes];
        float x1[lanes], x2[lanes], x3[lanes], y1[lanes], y2[lanes], y3[lanes];
    };

    /** Renders n samples, at ramp positions rampStart .. rampStart + n - 1, for numChannels (1 or
        2) channels: out[c][i] is the sum of the first groups[c] groups of channel c at sample i,
        each group's four lanes added as (lane 0 + lane 1) + (lane 2 + lane 3) and the groups added
        in order. Sample i of a lane reads its line at start + i - trunc (position * step). Leaves
        the run lanes' filter memory in the history fields (that of the other lanes may be
        changed); the ramps are only read.

        With a feedback block, each channel's feedback output of sample i is first added into its
        line at writeStart + i, before any lane reads that sample; the caller guarantees that no
        feedback read falls on the block's own positions (see feedbackReadsPrecedeBlock). The
        feedback's filter memory is left in its history fields. Without one, the lines are only
        read. */
    static void render (Path path, float* const* lines, int numChannels, int rampStart, int n, Lanes& lanes,
                        Feedback* feedback, float* const* out) noexcept;

    /** Renders the feedback paths alone: out[c][i] = channel c's feedback sample i, or, with out
        null, each sample added into the line at writeStart + i as soon as it is made (allowed
        when the reads precede the block). Any coefficients. */
    static void renderFeedback (float* const* lines, int numChannels, int rampStart, int n, Feedback& feedback,
                                float* const* out) noexcept;

    /** Whether every feedback read of the block lies before the block's own positions, so that
        the feedback may be added into the lines while the block is read. */
    static bool feedbackReadsPrecedeBlock (const Feedback& feedback, int numChannels, int rampStart, int n) noexcept;

    /** The path automatic stands for on this processor. */
    static Path fastestPath() noexcept;

    /** Whether this build and processor can run the path. */
    static bool isAvailable (Path path) noexcept;

    static const char* name (Path path) noexcept;
};
