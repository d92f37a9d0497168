#pragma once

#include <cstdint>

/** The per-sample inner loop of the delay engine: reads each lane's tap from the delay line with
    its linearly moving whole-sample delay and runs it through that lane's band-pass biquad, whose
    coefficients and gain move linearly across the block. Lanes come in groups of four; every path
    (portable, SSE2, AVX2, AVX-512) does the same single-precision operations in the same order per lane,
    so their results are identical. */
class TapLaneKernel
{
public:
    static constexpr int maxLanes = 32;
    static constexpr int lineSize = 1 << 23;

    enum class Path
    {
        automatic,
        portable,
        sse2,
        avx2,
        avx512
    };

    /** Per-lane inputs and filter memory, one entry per lane, laid out for vector loads. */
    struct alignas (64) Lanes
    {
        int32_t offset[maxLanes];     // line position of sample 0 at the block's starting delay
        float step[maxLanes];         // delay change per sample, in samples
        float b0[maxLanes], b1[maxLanes], b2[maxLanes], a1[maxLanes], a2[maxLanes];
        float gain[maxLanes];         // starting values of the ramps
        float db0[maxLanes], db1[maxLanes], db2[maxLanes], da1[maxLanes], da2[maxLanes];
        float dgain[maxLanes];        // per-sample increments of the ramps
        float x1[maxLanes], x2[maxLanes], x3[maxLanes]; // last inputs, most recent first
        float y1[maxLanes], y2[maxLanes], y3[maxLanes]; // last clamped outputs, before the gain
    };

    /** Renders n samples of the first numLanes lanes (a multiple of 4) into scratch, row i holding
        sample i of every lane (maxLanes floats per row, rows 64-byte aligned), and leaves the
        lanes' filter memory in the history fields. */
    static void render (Path path, const float* line, int n, int numLanes, Lanes& lanes, float* scratch) noexcept;

    /** out[i] = the lane sum of group 0 in row i, plus that of each further group in order; a
        group's lane sum is (lane 0 + lane 1) + (lane 2 + lane 3). */
    static void sumGroups (Path path, const float* scratch, int n, int numGroups, float* out) noexcept;

    /** The widest path this processor runs. */
    static Path fastestPath() noexcept;

    /** Whether this build and processor can run the path. */
    static bool isAvailable (Path path) noexcept;
};
