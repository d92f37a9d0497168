// One source for every instruction set: Highway compiles the vector code below once per target
// (this file includes itself through foreach_target.h) and render() picks one at run time.
// Every path must equal the others and the plain rendering bit for bit, so no multiply-add may be
// fused: the project builds with -ffp-contract=off, and the code below never asks for a fused
// operation (AVX2 and AVX-512 targets enable FMA instructions, which the compiler would otherwise
// use for a * b + c).

#if defined(__clang__)
 #pragma clang fp contract(off)
#endif

#include "engine/TapLaneKernel.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

#if ONDULA_HAVE_HIGHWAY
 // Arm's scalable vectors would need their own detection; NEON serves Arm.
 #ifndef HWY_DISABLED_TARGETS
  #define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
 #endif
 #undef HWY_TARGET_INCLUDE
 #define HWY_TARGET_INCLUDE "engine/TapLaneKernel.cpp"
 #include <hwy/foreach_target.h>
 #include <hwy/highway.h>
#endif

#ifndef ONDULA_TAP_LANE_KERNEL_COMMON
#define ONDULA_TAP_LANE_KERNEL_COMMON
namespace ondula_kernel
{
using Lanes = TapLaneKernel::Lanes;
constexpr int32_t lineMask = TapLaneKernel::lineSize - 1;
constexpr int planeStride = TapLaneKernel::slotsPerPlane;
constexpr int groupsPerChannel = TapLaneKernel::groupsPerChannel;

// Samples whose group sums are held on the stack before they are added up per channel. Ramps
// and delays are also set afresh, exactly, at every ramp position that is a multiple of it, and
// step along by addition in between: the running sums never drift by more than a chunk's
// rounding, and a sample's values depend only on its position, not on where a block began.
constexpr int chunkLength = 64;

/** Samples from ramp position `position` to the next multiple of chunkLength, at most `left`. */
inline int stretchLength (int position, int left) noexcept
{
    return std::min (chunkLength - position % chunkLength, left);
}

/** out[i] = group 0 + group 1 + ... in order, for rows of groupsPerChannel group sums. */
inline void addGroupsInOrder (const float* rows, int rowStride, int numRows, int groups, float* out) noexcept
{
    for (int i = 0; i < numRows; ++i)
    {
        const float* row = rows + i * rowStride;
        float sum = row[0];

        for (int g = 1; g < groups; ++g)
            sum = sum + row[g];

        out[i] = sum;
    }
}
} // namespace ondula_kernel
#endif

#if ONDULA_HAVE_HIGHWAY
HWY_BEFORE_NAMESPACE();
namespace ondula_kernel
{
namespace HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// Float to int toward zero. The delays' offsets are far inside the int range, so the plain
// conversion serves; Highway's own adds a saturation fix-up the loop does not need.
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_SSSE3
HWY_INLINE __m128i truncateRaw (__m128 v) { return _mm_cvttps_epi32 (v); }
 #if HWY_TARGET <= HWY_AVX2
HWY_INLINE __m256i truncateRaw (__m256 v) { return _mm256_cvttps_epi32 (v); }
 #endif
 #if HWY_TARGET <= HWY_AVX3
HWY_INLINE __m512i truncateRaw (__m512 v) { return _mm512_cvttps_epi32 (v); }
 #endif

template <class DI, class VF>
HWY_INLINE hn::VFromD<DI> truncate (DI, VF v)
{
    return hn::VFromD<DI> { truncateRaw (v.raw) };
}
#else
template <class DI, class VF>
HWY_INLINE hn::VFromD<DI> truncate (DI di, VF v)
{
    return hn::ConvertTo (di, v);
}
#endif

// y held to -1..1. AVX-512 does it in one instruction: the smaller magnitude of y and 1 with y's
// own sign (range selector 2: minimum magnitude, sign of the first operand), which is y inside
// the range, signed zeros included, and +-1 outside it.
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
HWY_INLINE __m128 clampRaw (__m128 y, __m128 one) { return _mm_range_ps (y, one, 0x02); }
HWY_INLINE __m256 clampRaw (__m256 y, __m256 one) { return _mm256_range_ps (y, one, 0x02); }
HWY_INLINE __m512 clampRaw (__m512 y, __m512 one) { return _mm512_range_ps (y, one, 0x02); }

template <class D, class V>
HWY_INLINE V clampUnit (D d, V y)
{
    return V { clampRaw (y.raw, hn::Set (d, 1.0f).raw) };
}
#else
template <class D, class V>
HWY_INLINE V clampUnit (D d, V y)
{
    return hn::Min (hn::Max (y, hn::Set (d, -1.0f)), hn::Set (d, 1.0f));
}
#endif

// The group sums of each sample lie in a row; the channel's output adds them in group order.
// Transposing tiles of rows turns each group into a vector over consecutive samples, so that the
// in-order additions run on whole vectors; the sums are exactly those of one row at a time.
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
/** Eight vectors of eight floats: vector k, element s becomes vector s, element k. */
HWY_INLINE void transpose8 (__m256 (&r)[8])
{
    __m256 a[8], b[8];

    for (int k = 0; k < 8; k += 2)
    {
        a[k] = _mm256_unpacklo_ps (r[k], r[k + 1]);
        a[k + 1] = _mm256_unpackhi_ps (r[k], r[k + 1]);
    }

    for (int k = 0; k < 8; k += 4)
    {
        b[k] = _mm256_shuffle_ps (a[k], a[k + 2], 0x44);
        b[k + 1] = _mm256_shuffle_ps (a[k], a[k + 2], 0xee);
        b[k + 2] = _mm256_shuffle_ps (a[k + 1], a[k + 3], 0x44);
        b[k + 3] = _mm256_shuffle_ps (a[k + 1], a[k + 3], 0xee);
    }

    for (int k = 0; k < 4; ++k)
    {
        r[k] = _mm256_permute2f128_ps (b[k], b[k + 4], 0x20);
        r[k + 4] = _mm256_permute2f128_ps (b[k], b[k + 4], 0x31);
    }
}
#endif

#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
/** Sixteen vectors of sixteen floats: vector k, element s becomes vector s, element k. */
HWY_INLINE void transpose16 (__m512 (&r)[16])
{
    __m512 a[16], b[16];

    for (int k = 0; k < 16; k += 2)
    {
        a[k] = _mm512_unpacklo_ps (r[k], r[k + 1]);
        a[k + 1] = _mm512_unpackhi_ps (r[k], r[k + 1]);
    }

    // Each 128-bit quarter q of b[4m + p] now holds element 4q + p of vectors 4m .. 4m + 3.
    for (int k = 0; k < 16; k += 4)
    {
        b[k] = _mm512_shuffle_ps (a[k], a[k + 2], 0x44);
        b[k + 1] = _mm512_shuffle_ps (a[k], a[k + 2], 0xee);
        b[k + 2] = _mm512_shuffle_ps (a[k + 1], a[k + 3], 0x44);
        b[k + 3] = _mm512_shuffle_ps (a[k + 1], a[k + 3], 0xee);
    }

    for (int p = 0; p < 4; ++p)
    {
        const __m512 low01 = _mm512_shuffle_f32x4 (b[p], b[4 + p], 0x44);
        const __m512 high01 = _mm512_shuffle_f32x4 (b[8 + p], b[12 + p], 0x44);
        const __m512 low23 = _mm512_shuffle_f32x4 (b[p], b[4 + p], 0xee);
        const __m512 high23 = _mm512_shuffle_f32x4 (b[8 + p], b[12 + p], 0xee);
        r[p] = _mm512_shuffle_f32x4 (low01, high01, 0x88);
        r[4 + p] = _mm512_shuffle_f32x4 (low01, high01, 0xdd);
        r[8 + p] = _mm512_shuffle_f32x4 (low23, high23, 0x88);
        r[12 + p] = _mm512_shuffle_f32x4 (low23, high23, 0xdd);
    }
}
#endif

/** out[c][i] = the sum of the first groups[c] group sums of channel c in row i, in order. */
template <int Channels>
HWY_INLINE void addGroups (const float* rows, int numRows, const int* groups, float* const* out)
{
    constexpr int rowStride = groupsPerChannel * Channels;
    int done = 0;

#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
    if (Channels == 2)
    {
        for (; done + 16 <= numRows; done += 16)
        {
            __m512 r[16];

            for (int k = 0; k < 16; ++k)
                r[k] = _mm512_load_ps (rows + (done + k) * rowStride);

            transpose16 (r);

            for (int c = 0; c < Channels; ++c)
            {
                const __m512* column = r + c * groupsPerChannel;
                __m512 sum = column[0];

                for (int g = 1; g < groups[c]; ++g)
                    sum = _mm512_add_ps (sum, column[g]);

                _mm512_storeu_ps (out[c] + done, sum);
            }
        }
    }
#endif
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
    for (; done + 8 <= numRows; done += 8)
        for (int c = 0; c < Channels; ++c)
        {
            __m256 r[8];

            for (int k = 0; k < 8; ++k)
                r[k] = _mm256_loadu_ps (rows + (done + k) * rowStride + c * groupsPerChannel);

            transpose8 (r);
            __m256 sum = r[0];

            for (int g = 1; g < groups[c]; ++g)
                sum = _mm256_add_ps (sum, r[g]);

            _mm256_storeu_ps (out[c] + done, sum);
        }
#endif

    for (int c = 0; c < Channels; ++c)
        addGroupsInOrder (rows + done * rowStride + c * groupsPerChannel, rowStride, numRows - done, groups[c], out[c] + done);
}

/** Renders the lanes of Channels channels (the first one being firstChannel) with vectors of up
    to 8 * Channels lanes. With Wrap, read positions are reduced modulo the line length.

    Two vectors run at a time, each its own recursion, so that one hides the latency of the
    other while both stay in registers: planes 0 and 1 of a part of the slots first, then planes
    2 and 3, whose pair sums complete the group sums. The history advances in place in the
    lanes' arrays; the history of lanes in groups that did not run is left unspecified. */
template <int Channels, bool Wrap>
HWY_NOINLINE void renderLanes (float* const* lines, int firstChannel, int rampStart, int n, Lanes& l, TapLaneKernel::Feedback* feedback,
                               float* const* out)
{
    const hn::CappedTag<float, groupsPerChannel * Channels> d;
    const hn::RebindToSigned<decltype (d)> di;
    using VF = hn::Vec<decltype (d)>;
    using VI = hn::Vec<decltype (di)>;

    constexpr int width = (int) hn::MaxLanes (d);
    constexpr int rowStride = groupsPerChannel * Channels;
    constexpr int perPlane = rowStride / width;
    const int firstSlot = firstChannel * groupsPerChannel;

    // Each channel's line, as an offset from the first one, so that one index vector serves both.
    const float* const base = lines[0];
    alignas (64) int32_t channelOffset[planeStride] {};

    for (int c = 1; c < Channels; ++c)
        for (int g = 0; g < groupsPerChannel; ++g)
            channelOffset[c * groupsPerChannel + g] = (int32_t) (lines[c] - base);

    // The feedback paths, in the lanes of one more (short) vector; free lanes read the first
    // line's start with zero coefficients and are never written back.
    const hn::CappedTag<float, TapLaneKernel::Feedback::lanes> dq;
    const hn::RebindToSigned<decltype (dq)> diq;
    using VQ = hn::Vec<decltype (dq)>;
    using VQI = hn::Vec<decltype (diq)>;
    constexpr int quarterWidth = (int) hn::MaxLanes (dq);
    constexpr int feedbackVectors = (Channels + quarterWidth - 1) / quarterWidth;
    constexpr int fl = TapLaneKernel::Feedback::lanes;

    alignas (16) int32_t fStart[fl] {}, fOffset[fl] {};
    alignas (16) float fStep[fl] {}, fB0[fl] {}, fA1[fl] {}, fA2[fl] {}, fGain[fl] {};
    alignas (16) float fDb0[fl] {}, fDa1[fl] {}, fDa2[fl] {}, fDgain[fl] {};
    alignas (16) float fX1[fl] {}, fX2[fl] {}, fX3[fl] {}, fY1[fl] {}, fY2[fl] {}, fY3[fl] {}, fOut[fl] {};

    if (feedback != nullptr)
    {
        const auto& f = *feedback;

        for (int c = 0; c < Channels; ++c)
        {
            const int k = firstChannel + c;
            fStart[c] = f.start[k]; fOffset[c] = channelOffset[c * groupsPerChannel]; fStep[c] = f.step[k];
            fB0[c] = f.b0[k]; fA1[c] = f.a1[k]; fA2[c] = f.a2[k]; fGain[c] = f.gain[k];
            fDb0[c] = f.db0[k]; fDa1[c] = f.da1[k]; fDa2[c] = f.da2[k]; fDgain[c] = f.dgain[k];
            fX1[c] = f.x1[k]; fX2[c] = f.x2[k]; fX3[c] = f.x3[k]; fY1[c] = f.y1[k]; fY2[c] = f.y2[k]; fY3[c] = f.y3[k];
        }
    }

    // Kept in single vectors (one per group of quarterWidth channels) so that they stay in registers.
    struct FeedbackVector
    {
        VQ moved, b0, a1, a2, gain, x1, x2, y1, y2;
    };

    const auto loadFeedback = [&] (int q) HWY_ATTR
    {
        return FeedbackVector { hn::Zero (dq), hn::Zero (dq), hn::Zero (dq), hn::Zero (dq), hn::Zero (dq),
                                hn::Load (dq, fX1 + q), hn::Load (dq, fX2 + q), hn::Load (dq, fY1 + q), hn::Load (dq, fY2 + q) };
    };

    // The ramps at the first position of a stretch: exact at the chunk's start, stepped on from there.
    const auto restartFeedback = [&] (FeedbackVector& f, int q, int position) HWY_ATTR
    {
        const int chunkStart = position - position % chunkLength;
        const VQ at = hn::Set (dq, (float) chunkStart);
        const VQ step = hn::Load (dq, fStep + q), db0 = hn::Load (dq, fDb0 + q), da1 = hn::Load (dq, fDa1 + q);
        const VQ da2 = hn::Load (dq, fDa2 + q), dgain = hn::Load (dq, fDgain + q);
        f.moved = at * step;
        f.b0 = hn::Load (dq, fB0 + q) + at * db0;
        f.a1 = hn::Load (dq, fA1 + q) + at * da1;
        f.a2 = hn::Load (dq, fA2 + q) + at * da2;
        f.gain = hn::Load (dq, fGain + q) + at * dgain;

        for (int k = chunkStart; k < position; ++k)
        {
            f.moved = f.moved + step;
            f.b0 = f.b0 + db0; f.a1 = f.a1 + da1; f.a2 = f.a2 + da2; f.gain = f.gain + dgain;
        }
    };

    FeedbackVector fv0 = loadFeedback (0);
    FeedbackVector fv1 = loadFeedback (feedbackVectors > 1 ? quarterWidth : 0);
    const VQI quarterMask = hn::Set (diq, lineMask);

    const auto feedbackStep = [&] (FeedbackVector& f, int q, int i) HWY_ATTR
    {
        if (i == n - 1)
        {
            hn::Store (f.x2, dq, fX3 + q);
            hn::Store (f.y2, dq, fY3 + q);
        }

        const VQI position = ((hn::Load (diq, fStart + q) + hn::Set (diq, i)) - truncate (diq, f.moved)) & quarterMask;
        const VQ x = hn::GatherIndex (dq, base, position + hn::Load (diq, fOffset + q));
        f.moved = f.moved + hn::Load (dq, fStep + q);

        // The feedback path's band-pass has b1 = 0 and b2 = -b0 too.
        VQ y = f.b0 * x;
        y = y - f.b0 * f.x2;
        y = y - f.a1 * f.y1;
        y = y - f.a2 * f.y2;
        y = clampUnit (dq, y);
        hn::Store (f.gain * y, dq, fOut + q);

        f.x2 = f.x1; f.x1 = x; f.y2 = f.y1; f.y1 = y;
        f.b0 = f.b0 + hn::Load (dq, fDb0 + q);
        f.a1 = f.a1 + hn::Load (dq, fDa1 + q);
        f.a2 = f.a2 + hn::Load (dq, fDa2 + q);
        f.gain = f.gain + hn::Load (dq, fDgain + q);
    };

    // One sample of every channel's feedback, added into the lines before the lanes read it.
    int32_t writeStart[Channels] {};

    if (feedback != nullptr)
        for (int c = 0; c < Channels; ++c)
            writeStart[c] = feedback->writeStart[firstChannel + c];

    const auto feedbackSample = [&] (int i) HWY_ATTR
    {
        feedbackStep (fv0, 0, i);

        if (feedbackVectors > 1)
            feedbackStep (fv1, quarterWidth, i);

        for (int c = 0; c < Channels; ++c)
            lines[c][(writeStart[c] + i) & lineMask] += fOut[c];
    };

    alignas (64) float pairs[chunkLength * rowStride];
    alignas (64) float rows[chunkLength * rowStride];
    const VI mask = hn::Set (di, lineMask);

    for (int chunk = 0; chunk < n;)
    {
        const int position = rampStart + chunk;
        const int length = stretchLength (position, n - chunk);

        if (feedback != nullptr)
        {
            restartFeedback (fv0, 0, position);

            if (feedbackVectors > 1)
                restartFeedback (fv1, quarterWidth, position);
        }

        for (int part = 0; part < perPlane; ++part)
        {
            const VI offset = hn::Load (di, channelOffset + part * width);

            // One vector of lanes: its running (negated) shift, ramps and history; the shift and
            // the ramps start the stretch at their exact values for its first position.
            struct LaneVector
            {
                int slot;
                VI start;
                VF shift, b0, a1, a2, gain, x1, x2, y1, y2;
            };

            const auto load = [&] (int plane) HWY_ATTR
            {
                const int at = plane * planeStride + firstSlot + part * width;
                const VI start = Wrap ? hn::Load (di, l.start + at) : hn::Load (di, l.start + at) + offset;
                const int chunkStart = position - position % chunkLength;
                const VF p = hn::Set (d, (float) chunkStart);
                const VF step = hn::Load (d, l.step + at), db0 = hn::Load (d, l.db0 + at), da1 = hn::Load (d, l.da1 + at);
                const VF da2 = hn::Load (d, l.da2 + at), dgain = hn::Load (d, l.dgain + at);
                LaneVector v { at, start, hn::Neg (p * step), hn::Load (d, l.b0 + at) + p * db0,
                               hn::Load (d, l.a1 + at) + p * da1, hn::Load (d, l.a2 + at) + p * da2,
                               hn::Load (d, l.gain + at) + p * dgain,
                               hn::Load (d, l.x1 + at), hn::Load (d, l.x2 + at),
                               hn::Load (d, l.y1 + at), hn::Load (d, l.y2 + at) };

                // A block that begins inside a chunk steps on to its first position.
                for (int k = chunkStart; k < position; ++k)
                {
                    v.shift = v.shift - step;
                    v.b0 = v.b0 + db0; v.a1 = v.a1 + da1; v.a2 = v.a2 + da2; v.gain = v.gain + dgain;
                }

                return v;
            };

            const auto store = [&] (const LaneVector& v) HWY_ATTR
            {
                const int at = v.slot;
                hn::Store (v.x1, d, l.x1 + at); hn::Store (v.x2, d, l.x2 + at);
                hn::Store (v.y1, d, l.y1 + at); hn::Store (v.y2, d, l.y2 + at);
            };

            // One sample of a vector of lanes: the read, the band-pass, the ramps; returns the
            // lanes' output. The running shifts are kept negated (exactly: negation only flips
            // the sign), so that the index is an addition the start folds into. b1 is zero and
            // b2 is -b0 in every design, so b2 * x2 is -(b0 * x2) exactly.
            const auto step = [&] (LaneVector& v, int i) HWY_ATTR
            {
                if (i == n - 1)
                {
                    // The oldest history only shifts along: it is what x2 and y2 hold before
                    // the last sample.
                    hn::Store (v.x2, d, l.x3 + v.slot);
                    hn::Store (v.y2, d, l.y3 + v.slot);
                }

                const VF x = Wrap ? hn::GatherIndex (d, base, (((v.start + hn::Set (di, i)) + truncate (di, v.shift)) & mask) + offset)
                                  : hn::GatherIndex (d, base + i, v.start + truncate (di, v.shift));
                v.shift = v.shift - hn::Load (d, l.step + v.slot);

                VF y = v.b0 * x;
                y = y - v.b0 * v.x2;
                y = y - v.a1 * v.y1;
                y = y - v.a2 * v.y2;
                y = clampUnit (d, y);
                const VF output = v.gain * y;

                v.x2 = v.x1; v.x1 = x; v.y2 = v.y1; v.y1 = y;
                v.b0 = v.b0 + hn::Load (d, l.db0 + v.slot);
                v.a1 = v.a1 + hn::Load (d, l.da1 + v.slot);
                v.a2 = v.a2 + hn::Load (d, l.da2 + v.slot);
                v.gain = v.gain + hn::Load (d, l.dgain + v.slot);
                return output;
            };

            // Lane k of every group is in plane k, so a group's sum is a sum of vectors. Two
            // planes run at a time, two recursions hiding each other's latency while everything
            // stays in registers (all four at once spill, and run slower); the first two planes'
            // sums wait in memory. The first pass of a chunk also runs the feedback paths, one
            // sample ahead of the lanes' reads; the others carry none of their state.
            for (int half = 0; half < 2; ++half)
            {
                LaneVector v0 = load (2 * half), v1 = load (2 * half + 1);

                const auto run = [&] (auto withFeedback) HWY_ATTR
                {
                    for (int j = 0; j < length; ++j)
                    {
                        const int i = chunk + j;

                        if constexpr (decltype (withFeedback)::value)
                            feedbackSample (i);

                        const VF pair = step (v0, i) + step (v1, i);
                        float* pairRow = pairs + j * rowStride + part * width;

                        if (half == 0)
                            hn::Store (pair, d, pairRow);
                        else
                            hn::Store (hn::Load (d, pairRow) + pair, d, rows + j * rowStride + part * width);
                    }
                };

                if (feedback != nullptr && part == 0 && half == 0)
                    run (std::true_type {});
                else
                    run (std::false_type {});

                store (v0); store (v1);
            }
        }

        float* chunkOut[Channels];

        for (int c = 0; c < Channels; ++c)
            chunkOut[c] = out[c] + chunk;

        addGroups<Channels> (rows, length, l.groups + firstChannel, chunkOut);
        chunk += length;
    }

    if (feedback != nullptr)
    {
        for (int v = 0; v < feedbackVectors; ++v)
        {
            const int q = v * quarterWidth;
            const auto& f = v == 0 ? fv0 : fv1;
            hn::Store (f.x1, dq, fX1 + q); hn::Store (f.x2, dq, fX2 + q);
            hn::Store (f.y1, dq, fY1 + q); hn::Store (f.y2, dq, fY2 + q);
        }

        auto& f = *feedback;

        for (int c = 0; c < Channels; ++c)
        {
            const int k = firstChannel + c;
            f.x1[k] = fX1[c]; f.x2[k] = fX2[c]; f.x3[k] = fX3[c];
            f.y1[k] = fY1[c]; f.y2[k] = fY2[c]; f.y3[k] = fY3[c];
        }
    }
}

/** Whether every read of the lanes of channels first..first + count - 1 stays inside the line
    without reduction modulo its length. */
inline bool readsStayInside (const Lanes& l, int first, int count, int rampStart, int n)
{
    int32_t lowest = TapLaneKernel::lineSize, highest = 0;
    float fastest = 0.0f;

    for (int k = 0; k < TapLaneKernel::lanesPerGroup; ++k)
        for (int s = k * planeStride + first * groupsPerChannel; s < k * planeStride + (first + count) * groupsPerChannel; ++s)
        {
            lowest = std::min (lowest, l.start[s]);
            highest = std::max (highest, l.start[s]);
            fastest = std::max (fastest, std::abs (l.step[s]));
        }

    // A delay's whole-sample shift stays within its change up to the block's last ramp position;
    // allow for rounding generously.
    const double shift = (double) fastest * (rampStart + n) * 1.01 + 2.0;
    return (double) lowest - shift >= 0.0 && (double) highest + n + shift < (double) TapLaneKernel::lineSize;
}

void renderVector (float* const* lines, int numChannels, int rampStart, int n, Lanes& l, TapLaneKernel::Feedback* feedback,
                   float* const* out)
{
    // One index vector serves both channels when their lines lie within reach of 32-bit offsets.
    const auto distance = numChannels == 2 ? (int64_t) (lines[1] - lines[0]) : 0;
    const bool together = numChannels == 2 && std::abs (distance) < (int64_t) INT32_MAX - 4 * (int64_t) TapLaneKernel::lineSize;

    if (together)
    {
        if (readsStayInside (l, 0, 2, rampStart, n))
            renderLanes<2, false> (lines, 0, rampStart, n, l, feedback, out);
        else
            renderLanes<2, true> (lines, 0, rampStart, n, l, feedback, out);

        return;
    }

    for (int c = 0; c < numChannels; ++c)
    {
        if (readsStayInside (l, c, 1, rampStart, n))
            renderLanes<1, false> (lines + c, c, rampStart, n, l, feedback, out + c);
        else
            renderLanes<1, true> (lines + c, c, rampStart, n, l, feedback, out + c);
    }
}
} // namespace HWY_NAMESPACE
} // namespace ondula_kernel
HWY_AFTER_NAMESPACE();
#endif // ONDULA_HAVE_HIGHWAY

#if ! ONDULA_HAVE_HIGHWAY || HWY_ONCE
namespace ondula_kernel
{
namespace
{
using Path = TapLaneKernel::Path;
using RenderFunction = void (*) (float* const*, int, int, int, Lanes&, TapLaneKernel::Feedback*, float* const*);

//==================================================================================================
// The reference: one lane at a time, with every coefficient as given.
void renderPortable (const float* const* lines, int numChannels, int rampStart, int n, Lanes& l, float* const* out) noexcept
{
    constexpr int lanesPerChannel = groupsPerChannel * TapLaneKernel::lanesPerGroup;

    for (int c = 0; c < numChannels; ++c)
    {
        const float* line = lines[c];
        const int groups = l.groups[c];
        float laneOut[lanesPerChannel][chunkLength];
        float rows[chunkLength * groupsPerChannel];

        for (int chunk = 0; chunk < n;)
        {
            const int position = rampStart + chunk;
            const int length = stretchLength (position, n - chunk);
            const int chunkStart = position - position % chunkLength;
            const float p = (float) chunkStart;

            for (int g = 0; g < groups; ++g)
                for (int k = 0; k < TapLaneKernel::lanesPerGroup; ++k)
                {
                    const int s = TapLaneKernel::slot (c, g, k);
                    const int j = g * TapLaneKernel::lanesPerGroup + k;
                    float moved = p * l.step[s];
                    float b0 = l.b0[s] + p * l.db0[s], b1 = l.b1[s] + p * l.db1[s], b2 = l.b2[s] + p * l.db2[s];
                    float a1 = l.a1[s] + p * l.da1[s], a2 = l.a2[s] + p * l.da2[s], gain = l.gain[s] + p * l.dgain[s];

                    for (int q = chunkStart; q < position; ++q)
                    {
                        moved = moved + l.step[s];
                        b0 = b0 + l.db0[s]; b1 = b1 + l.db1[s]; b2 = b2 + l.db2[s];
                        a1 = a1 + l.da1[s]; a2 = a2 + l.da2[s]; gain = gain + l.dgain[s];
                    }

                    float x1 = l.x1[s], x2 = l.x2[s], x3 = l.x3[s], y1 = l.y1[s], y2 = l.y2[s], y3 = l.y3[s];

                    for (int q = 0; q < length; ++q)
                    {
                        const int i = chunk + q;
                        const float x = line[(l.start[s] + i - (int32_t) moved) & lineMask];
                        moved = moved + l.step[s];

                        float y = b0 * x;
                        y = y + b1 * x1;
                        y = y + b2 * x2;
                        y = y - a1 * y1;
                        y = y - a2 * y2;
                        y = y < -1.0f ? -1.0f : y;
                        y = y > 1.0f ? 1.0f : y;

                        laneOut[j][q] = gain * y;

                        x3 = x2; x2 = x1; x1 = x;
                        y3 = y2; y2 = y1; y1 = y;
                        b0 = b0 + l.db0[s]; b1 = b1 + l.db1[s]; b2 = b2 + l.db2[s];
                        a1 = a1 + l.da1[s]; a2 = a2 + l.da2[s]; gain = gain + l.dgain[s];
                    }

                    l.x1[s] = x1; l.x2[s] = x2; l.x3[s] = x3; l.y1[s] = y1; l.y2[s] = y2; l.y3[s] = y3;
                }

            for (int q = 0; q < length; ++q)
                for (int g = 0; g < groups; ++g)
                {
                    const float* lane = &laneOut[g * TapLaneKernel::lanesPerGroup][q];
                    rows[q * groupsPerChannel + g] = (lane[0] + lane[chunkLength]) + (lane[2 * chunkLength] + lane[3 * chunkLength]);
                }

            addGroupsInOrder (rows, groupsPerChannel, length, groups, out[c] + chunk);
            chunk += length;
        }
    }
}

/** Count feedback paths side by side, so that one path's recursion hides the latency of the
    other's; each does exactly what it would do alone, with any coefficients. */
template <int Count>
void runFeedback (float* const* lines, int rampStart, int n, TapLaneKernel::Feedback& f, float* const* out) noexcept
{
    float moved[Count] {}, b0[Count] {}, b1[Count] {}, b2[Count] {}, a1[Count] {}, a2[Count] {}, g[Count] {};
    float x1[Count], x2[Count], x3[Count], y1[Count], y2[Count], y3[Count];

    for (int r = 0; r < Count; ++r)
    {
        x1[r] = f.x1[r]; x2[r] = f.x2[r]; x3[r] = f.x3[r]; y1[r] = f.y1[r]; y2[r] = f.y2[r]; y3[r] = f.y3[r];
    }

    for (int i = 0; i < n; ++i)
    {
        for (int r = 0; r < Count; ++r)
        {
            const int position = rampStart + i;

            if (i == 0 || position % chunkLength == 0)
            {
                const int chunkStart = position - position % chunkLength;
                const float p = (float) chunkStart;
                moved[r] = p * f.step[r];
                b0[r] = f.b0[r] + p * f.db0[r]; b1[r] = f.b1[r] + p * f.db1[r]; b2[r] = f.b2[r] + p * f.db2[r];
                a1[r] = f.a1[r] + p * f.da1[r]; a2[r] = f.a2[r] + p * f.da2[r]; g[r] = f.gain[r] + p * f.dgain[r];

                for (int k = chunkStart; k < position; ++k)
                {
                    moved[r] = moved[r] + f.step[r];
                    b0[r] = b0[r] + f.db0[r]; b1[r] = b1[r] + f.db1[r]; b2[r] = b2[r] + f.db2[r];
                    a1[r] = a1[r] + f.da1[r]; a2[r] = a2[r] + f.da2[r]; g[r] = g[r] + f.dgain[r];
                }
            }

            const float x = lines[r][(f.start[r] + i - (int32_t) moved[r]) & lineMask];
            moved[r] = moved[r] + f.step[r];

            float y = b0[r] * x;
            y = y + b1[r] * x1[r];
            y = y + b2[r] * x2[r];
            y = y - a1[r] * y1[r];
            y = y - a2[r] * y2[r];
            y = y < -1.0f ? -1.0f : y;
            y = y > 1.0f ? 1.0f : y;

            if (out != nullptr)
                out[r][i] = g[r] * y;
            else
                lines[r][(f.writeStart[r] + i) & lineMask] += g[r] * y;

            x3[r] = x2[r]; x2[r] = x1[r]; x1[r] = x;
            y3[r] = y2[r]; y2[r] = y1[r]; y1[r] = y;
            b0[r] = b0[r] + f.db0[r]; b1[r] = b1[r] + f.db1[r]; b2[r] = b2[r] + f.db2[r];
            a1[r] = a1[r] + f.da1[r]; a2[r] = a2[r] + f.da2[r]; g[r] = g[r] + f.dgain[r];
        }
    }

    for (int r = 0; r < Count; ++r)
    {
        f.x1[r] = x1[r]; f.x2[r] = x2[r]; f.x3[r] = x3[r];
        f.y1[r] = y1[r]; f.y2[r] = y2[r]; f.y3[r] = y3[r];
    }
}

bool feedbackIsBandPass (const TapLaneKernel::Feedback& f, int numChannels) noexcept
{
    for (int c = 0; c < numChannels; ++c)
        if (f.b1[c] != 0.0f || f.db1[c] != 0.0f || f.b2[c] != -f.b0[c] || f.db2[c] != -f.db0[c])
            return false;

    return true;
}

/** The vector code assumes what every band-pass design gives: b1 = 0 and b2 = -b0, ramps alike.
    Lanes of groups that do not run hold zeros, which pass. */
bool lanesAreBandPasses (const Lanes& l, int numChannels) noexcept
{
    int differ = 0;

    for (int k = 0; k < TapLaneKernel::lanesPerGroup; ++k)
        for (int s = k * planeStride; s < k * planeStride + numChannels * groupsPerChannel; ++s)
            differ |= (l.b1[s] != 0.0f) | (l.db1[s] != 0.0f) | (l.b2[s] != -l.b0[s]) | (l.db2[s] != -l.db0[s]);

    return differ == 0;
}

#if ONDULA_HAVE_HIGHWAY
 #if HWY_TARGETS & HWY_SCALAR
  #define ONDULA_CHOOSE_SCALAR(f) &N_SCALAR::f
 #elif HWY_TARGETS & HWY_EMU128
  #define ONDULA_CHOOSE_SCALAR(f) &N_EMU128::f
 #else
  #define ONDULA_CHOOSE_SCALAR(f) nullptr
 #endif
#endif

struct Target
{
    Path path;
    RenderFunction function;
    bool supported;
};

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
 // Asked of the processor itself (cpuid, and whether the system saves the wider registers), not of
 // the system's list of features, so that under an emulator such as valgrind the code takes a path
 // the emulator runs.
 #define ONDULA_X86_HAS(feature) (__builtin_cpu_supports (feature) != 0)
#endif

/** Compiled targets, best first, each with whether this processor runs it. */
const Target* targets (int& count)
{
    static const auto list = []
    {
        using juce::SystemStats;
        std::array<Target, 6> t {};
#if ONDULA_HAVE_HIGHWAY
 #ifdef ONDULA_X86_HAS
        __builtin_cpu_init();
        const bool avx512 = ONDULA_X86_HAS ("avx512f") && ONDULA_X86_HAS ("avx512vl") && ONDULA_X86_HAS ("avx512dq")
                         && ONDULA_X86_HAS ("avx512bw");
        const bool avx2 = ONDULA_X86_HAS ("avx2") && ONDULA_X86_HAS ("fma");
        const bool sse4 = ONDULA_X86_HAS ("sse4.1") && ONDULA_X86_HAS ("sse4.2");
        const bool ssse3 = ONDULA_X86_HAS ("ssse3");
 #else
        const bool avx512 = SystemStats::hasAVX512F() && SystemStats::hasAVX512VL() && SystemStats::hasAVX512DQ()
                         && SystemStats::hasAVX512BW();
        const bool avx2 = SystemStats::hasAVX2() && SystemStats::hasFMA3();
        const bool sse4 = SystemStats::hasSSE41() && SystemStats::hasSSE42();
        const bool ssse3 = SystemStats::hasSSSE3();
 #endif
        // Highway's AVX2 target also uses BMI2 and F16C, which every processor with AVX2 and FMA has.
        t[0] = { Path::avx512, HWY_CHOOSE_AVX3 (renderVector), avx512 };
        t[1] = { Path::avx2, HWY_CHOOSE_AVX2 (renderVector), avx2 };
        t[2] = { Path::sse4, HWY_CHOOSE_SSE4 (renderVector), sse4 };
        t[3] = { Path::ssse3, HWY_CHOOSE_SSSE3 (renderVector), ssse3 };
 #if HWY_ARCH_ARM_A64
        t[4] = { Path::neon, HWY_CHOOSE_NEON (renderVector), true };
 #else
        t[4] = { Path::neon, HWY_CHOOSE_NEON (renderVector), SystemStats::hasNeon() };
 #endif
        t[5] = { Path::scalar, ONDULA_CHOOSE_SCALAR (renderVector), true };
#endif
        for (auto& target : t)
            target.supported = target.supported && target.function != nullptr;

        return t;
    }();

    count = (int) list.size();
    return list.data();
}

const Target* find (Path path)
{
    int count = 0;
    const auto* list = targets (count);

    for (int i = 0; i < count; ++i)
        if (list[i].path == path)
            return list + i;

    return nullptr;
}
} // namespace
} // namespace ondula_kernel

//==================================================================================================
TapLaneKernel::Path TapLaneKernel::fastestPath() noexcept
{
    static const Path fastest = []
    {
        int count = 0;
        const auto* list = ondula_kernel::targets (count);

        for (int i = 0; i < count; ++i)
            if (list[i].supported && list[i].path != Path::scalar)
                return list[i].path;

        return Path::portable;
    }();

    return fastest;
}

bool TapLaneKernel::isAvailable (Path path) noexcept
{
    if (path == Path::automatic || path == Path::portable)
        return true;

    const auto* target = ondula_kernel::find (path);
    return target != nullptr && target->supported;
}

const char* TapLaneKernel::name (Path path) noexcept
{
    switch (path)
    {
        case Path::automatic: return "automatic";
        case Path::portable:  return "portable";
        case Path::scalar:    return "scalar";
        case Path::ssse3:     return "ssse3";
        case Path::sse4:      return "sse4";
        case Path::avx2:      return "avx2";
        case Path::avx512:    return "avx512";
        case Path::neon:      return "neon";
    }

    return "?";
}

void TapLaneKernel::render (Path path, float* const* lines, int numChannels, int rampStart, int n, Lanes& lanes,
                            Feedback* feedback, float* const* out) noexcept
{
    if (n <= 0 || numChannels <= 0)
        return;

    if (path == Path::automatic || ! isAvailable (path))
        path = fastestPath();

    const auto* target = path == Path::portable ? nullptr : ondula_kernel::find (path);

    if (target != nullptr && ondula_kernel::lanesAreBandPasses (lanes, numChannels)
        && (feedback == nullptr || ondula_kernel::feedbackIsBandPass (*feedback, numChannels)))
        return target->function (lines, numChannels, rampStart, n, lanes, feedback, out);

    // The reference: the feedback first (its reads precede the block), then one lane at a time.
    if (feedback != nullptr)
        renderFeedback (lines, numChannels, rampStart, n, *feedback, nullptr);

    ondula_kernel::renderPortable (lines, numChannels, rampStart, n, lanes, out);
}

void TapLaneKernel::renderFeedback (float* const* lines, int numChannels, int rampStart, int n, Feedback& f,
                                    float* const* out) noexcept
{
    if (numChannels == 2)
        ondula_kernel::runFeedback<2> (lines, rampStart, n, f, out);
    else if (numChannels == 1)
        ondula_kernel::runFeedback<1> (lines, rampStart, n, f, out);
}

bool TapLaneKernel::feedbackReadsPrecedeBlock (const Feedback& f, int numChannels, int rampStart, int n) noexcept
{
    for (int c = 0; c < numChannels; ++c)
    {
        // The delay at sample i is the starting one plus the whole samples moved by its ramp
        // position, within the change up to the block's last position give or take rounding.
        const double delay = (double) ((f.writeStart[c] - f.start[c]) & ondula_kernel::lineMask);
        const double shift = std::abs ((double) f.step[c]) * (rampStart + n) * 1.01 + 2.0;

        if (delay - shift < (double) n || delay + shift > (double) (lineSize - n))
            return false;
    }

    return true;
}
#endif
