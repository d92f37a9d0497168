#include "engine/TapLaneKernel.h"

// Every path must equal the others and the plain rendering bit for bit, so no multiply-add may
// be fused (AVX-512 brings fused instructions with it, and the compiler would use them).
#if defined(__clang__)
 #pragma clang fp contract(off)
#elif defined(__GNUC__)
 #pragma GCC optimize ("fp-contract=off")
#endif

// The vector paths use GCC/clang target attributes for run-time dispatch; other compilers and
// other processors take the portable path.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
 #define ONDULA_X86 1
 #include <immintrin.h>
#else
 #define ONDULA_X86 0
#endif

namespace
{
constexpr int32_t lineMask = TapLaneKernel::lineSize - 1;
constexpr int rowStride = TapLaneKernel::maxLanes;

//==================================================================================================
// Portable path: one lane at a time. The vector paths below must give the same results.
void renderPortable (const float* line, int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    for (int j = 0; j < numLanes; ++j)
    {
        const int32_t offset = l.offset[j];
        const float step = l.step[j];
        float b0 = l.b0[j], b1 = l.b1[j], b2 = l.b2[j], a1 = l.a1[j], a2 = l.a2[j], gain = l.gain[j];
        const float db0 = l.db0[j], db1 = l.db1[j], db2 = l.db2[j], da1 = l.da1[j], da2 = l.da2[j];
        const float dgain = l.dgain[j];
        float x1 = l.x1[j], x2 = l.x2[j], x3 = l.x3[j], y1 = l.y1[j], y2 = l.y2[j], y3 = l.y3[j];
        float moved = 0.0f;

        for (int i = 0; i < n; ++i)
        {
            const float x = line[(offset + i - (int32_t) moved) & lineMask];
            moved = moved + step;

            float y = b0 * x;
            y = y + b1 * x1;
            y = y + b2 * x2;
            y = y - a1 * y1;
            y = y - a2 * y2;
            y = y < -1.0f ? -1.0f : y;
            y = y > 1.0f ? 1.0f : y;

            scratch[i * rowStride + j] = gain * y;

            x3 = x2; x2 = x1; x1 = x;
            y3 = y2; y2 = y1; y1 = y;
            b0 = b0 + db0; b1 = b1 + db1; b2 = b2 + db2;
            a1 = a1 + da1; a2 = a2 + da2; gain = gain + dgain;
        }

        l.x1[j] = x1; l.x2[j] = x2; l.x3[j] = x3;
        l.y1[j] = y1; l.y2[j] = y2; l.y3[j] = y3;
    }
}

void sumGroupsPortable (const float* scratch, int n, int numGroups, float* out) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float* row = scratch + i * rowStride;
        float sum = (row[0] + row[1]) + (row[2] + row[3]);

        for (int g = 1; g < numGroups; ++g)
            sum = sum + ((row[4 * g] + row[4 * g + 1]) + (row[4 * g + 2] + row[4 * g + 3]));

        out[i] = sum;
    }
}

#if ONDULA_X86
//==================================================================================================
// The vector paths work in two passes: first every lane's reads go into the scratch rows (the
// reads of one sample do not wait for the filters), then the filters run over the rows in place.

bool lanesHaveNoB1 (const TapLaneKernel::Lanes& l, int numLanes) noexcept
{
    // The band-pass numerator's middle coefficient is zero in every design; the portable path
    // still multiplies it, and skipping 0 * x only ever changes the sign of a zero result.
    for (int j = 0; j < numLanes; ++j)
        if (l.b1[j] != 0.0f || l.db1[j] != 0.0f)
            return false;

    return true;
}

void readSse2 (const float* line, int n, int numLanes, const TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m128i mask = _mm_set1_epi32 (lineMask);
    const __m128i one = _mm_set1_epi32 (1);

    for (int j = 0; j < numLanes; j += 4)
    {
        __m128i pos = _mm_load_si128 ((const __m128i*) (l.offset + j));
        const __m128 step = _mm_load_ps (l.step + j);
        __m128 moved = _mm_setzero_ps();
        float* out = scratch + j;

        for (int i = 0; i < n; ++i, out += rowStride)
        {
            alignas (16) int32_t index[4];
            _mm_store_si128 ((__m128i*) index, _mm_and_si128 (_mm_sub_epi32 (pos, _mm_cvttps_epi32 (moved)), mask));
            out[0] = line[index[0]];
            out[1] = line[index[1]];
            out[2] = line[index[2]];
            out[3] = line[index[3]];
            pos = _mm_add_epi32 (pos, one);
            moved = _mm_add_ps (moved, step);
        }
    }
}

/** K groups of four lanes filtered side by side over the rows, so that one group's recursion
    hides the latency of the other's. */
template <int K, bool withB1>
void filterSse2 (int n, int firstLane, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m128 plusOne = _mm_set1_ps (1.0f);
    const __m128 minusOne = _mm_set1_ps (-1.0f);

    __m128 b0[K], b1[K], b2[K], a1[K], a2[K], gain[K];
    __m128 db0[K], db1[K], db2[K], da1[K], da2[K], dgain[K];
    __m128 x1[K], x2[K], y1[K], y2[K], x3[K], y3[K];

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 4 * k;
        b0[k] = _mm_load_ps (l.b0 + j); b1[k] = _mm_load_ps (l.b1 + j); b2[k] = _mm_load_ps (l.b2 + j);
        a1[k] = _mm_load_ps (l.a1 + j); a2[k] = _mm_load_ps (l.a2 + j); gain[k] = _mm_load_ps (l.gain + j);
        db0[k] = _mm_load_ps (l.db0 + j); db1[k] = _mm_load_ps (l.db1 + j); db2[k] = _mm_load_ps (l.db2 + j);
        da1[k] = _mm_load_ps (l.da1 + j); da2[k] = _mm_load_ps (l.da2 + j); dgain[k] = _mm_load_ps (l.dgain + j);
        x1[k] = _mm_load_ps (l.x1 + j); x2[k] = _mm_load_ps (l.x2 + j); x3[k] = _mm_load_ps (l.x3 + j);
        y1[k] = _mm_load_ps (l.y1 + j); y2[k] = _mm_load_ps (l.y2 + j); y3[k] = _mm_load_ps (l.y3 + j);
    }

    float* row = scratch + firstLane;

    for (int i = 0; i < n; ++i, row += rowStride)
    {
        // The oldest history only shifts along: it is what x2 and y2 hold before the last sample.
        if (i == n - 1)
            for (int k = 0; k < K; ++k)
            {
                x3[k] = x2[k];
                y3[k] = y2[k];
            }

        for (int k = 0; k < K; ++k)
        {
            const __m128 x = _mm_load_ps (row + 4 * k);
            __m128 y = _mm_mul_ps (b0[k], x);

            if constexpr (withB1)
                y = _mm_add_ps (y, _mm_mul_ps (b1[k], x1[k]));

            y = _mm_add_ps (y, _mm_mul_ps (b2[k], x2[k]));
            y = _mm_sub_ps (y, _mm_mul_ps (a1[k], y1[k]));
            y = _mm_sub_ps (y, _mm_mul_ps (a2[k], y2[k]));
            y = _mm_min_ps (_mm_max_ps (y, minusOne), plusOne);
            _mm_store_ps (row + 4 * k, _mm_mul_ps (gain[k], y));

            x2[k] = x1[k]; x1[k] = x;
            y2[k] = y1[k]; y1[k] = y;
            b0[k] = _mm_add_ps (b0[k], db0[k]);
            if constexpr (withB1)
                b1[k] = _mm_add_ps (b1[k], db1[k]);
            b2[k] = _mm_add_ps (b2[k], db2[k]);
            a1[k] = _mm_add_ps (a1[k], da1[k]);
            a2[k] = _mm_add_ps (a2[k], da2[k]);
            gain[k] = _mm_add_ps (gain[k], dgain[k]);
        }
    }

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 4 * k;
        _mm_store_ps (l.x1 + j, x1[k]); _mm_store_ps (l.x2 + j, x2[k]); _mm_store_ps (l.x3 + j, x3[k]);
        _mm_store_ps (l.y1 + j, y1[k]); _mm_store_ps (l.y2 + j, y2[k]); _mm_store_ps (l.y3 + j, y3[k]);
    }
}

template <bool withB1>
void filterSse2Lanes (int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    int lane = 0;

    for (; lane + 8 <= numLanes; lane += 8)
        filterSse2<2, withB1> (n, lane, l, scratch);

    if (lane < numLanes)
        filterSse2<1, withB1> (n, lane, l, scratch);
}

void renderSse2 (const float* line, int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    readSse2 (line, n, numLanes, l, scratch);

    if (lanesHaveNoB1 (l, numLanes))
        filterSse2Lanes<false> (n, numLanes, l, scratch);
    else
        filterSse2Lanes<true> (n, numLanes, l, scratch);
}

//==================================================================================================
// AVX2: two groups per vector and hardware gathers. No FMA: products and sums stay separate so
// that the results equal the other paths.

__attribute__ ((target ("avx2")))
void readAvx2 (const float* line, int n, int numLanes, const TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m256i mask = _mm256_set1_epi32 (lineMask);
    const __m256i one = _mm256_set1_epi32 (1);
    int j = 0;

    for (; j + 8 <= numLanes; j += 8)
    {
        __m256i pos = _mm256_load_si256 ((const __m256i*) (l.offset + j));
        const __m256 step = _mm256_load_ps (l.step + j);
        __m256 moved = _mm256_setzero_ps();
        float* out = scratch + j;

        for (int i = 0; i < n; ++i, out += rowStride)
        {
            const __m256i index = _mm256_and_si256 (_mm256_sub_epi32 (pos, _mm256_cvttps_epi32 (moved)), mask);
            _mm256_store_ps (out, _mm256_i32gather_ps (line, index, 4));
            pos = _mm256_add_epi32 (pos, one);
            moved = _mm256_add_ps (moved, step);
        }
    }

    if (j < numLanes)
    {
        __m128i pos = _mm_load_si128 ((const __m128i*) (l.offset + j));
        const __m128 step = _mm_load_ps (l.step + j);
        __m128 moved = _mm_setzero_ps();
        const __m128i mask4 = _mm_set1_epi32 (lineMask);
        const __m128i one4 = _mm_set1_epi32 (1);
        float* out = scratch + j;

        for (int i = 0; i < n; ++i, out += rowStride)
        {
            const __m128i index = _mm_and_si128 (_mm_sub_epi32 (pos, _mm_cvttps_epi32 (moved)), mask4);
            _mm_store_ps (out, _mm_i32gather_ps (line, index, 4));
            pos = _mm_add_epi32 (pos, one4);
            moved = _mm_add_ps (moved, step);
        }
    }
}

template <int K, bool withB1>
__attribute__ ((target ("avx2")))
void filterAvx2 (int n, int firstLane, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m256 plusOne = _mm256_set1_ps (1.0f);
    const __m256 minusOne = _mm256_set1_ps (-1.0f);

    __m256 b0[K], b1[K], b2[K], a1[K], a2[K], gain[K];
    __m256 x1[K], x2[K], y1[K], y2[K], x3[K], y3[K];

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 8 * k;
        b0[k] = _mm256_load_ps (l.b0 + j); b1[k] = _mm256_load_ps (l.b1 + j); b2[k] = _mm256_load_ps (l.b2 + j);
        a1[k] = _mm256_load_ps (l.a1 + j); a2[k] = _mm256_load_ps (l.a2 + j); gain[k] = _mm256_load_ps (l.gain + j);
        x1[k] = _mm256_load_ps (l.x1 + j); x2[k] = _mm256_load_ps (l.x2 + j); x3[k] = _mm256_load_ps (l.x3 + j);
        y1[k] = _mm256_load_ps (l.y1 + j); y2[k] = _mm256_load_ps (l.y2 + j); y3[k] = _mm256_load_ps (l.y3 + j);
    }

    float* row = scratch + firstLane;

    for (int i = 0; i < n; ++i, row += rowStride)
    {
        // The oldest history only shifts along: it is what x2 and y2 hold before the last sample.
        if (i == n - 1)
            for (int k = 0; k < K; ++k)
            {
                x3[k] = x2[k];
                y3[k] = y2[k];
            }

        for (int k = 0; k < K; ++k)
        {
            const int j = firstLane + 8 * k;
            const __m256 x = _mm256_load_ps (row + 8 * k);
            __m256 y = _mm256_mul_ps (b0[k], x);

            if constexpr (withB1)
                y = _mm256_add_ps (y, _mm256_mul_ps (b1[k], x1[k]));

            y = _mm256_add_ps (y, _mm256_mul_ps (b2[k], x2[k]));
            y = _mm256_sub_ps (y, _mm256_mul_ps (a1[k], y1[k]));
            y = _mm256_sub_ps (y, _mm256_mul_ps (a2[k], y2[k]));
            y = _mm256_min_ps (_mm256_max_ps (y, minusOne), plusOne);
            _mm256_store_ps (row + 8 * k, _mm256_mul_ps (gain[k], y));

            x2[k] = x1[k]; x1[k] = x;
            y2[k] = y1[k]; y1[k] = y;
            b0[k] = _mm256_add_ps (b0[k], _mm256_load_ps (l.db0 + j));
            if constexpr (withB1)
                b1[k] = _mm256_add_ps (b1[k], _mm256_load_ps (l.db1 + j));
            b2[k] = _mm256_add_ps (b2[k], _mm256_load_ps (l.db2 + j));
            a1[k] = _mm256_add_ps (a1[k], _mm256_load_ps (l.da1 + j));
            a2[k] = _mm256_add_ps (a2[k], _mm256_load_ps (l.da2 + j));
            gain[k] = _mm256_add_ps (gain[k], _mm256_load_ps (l.dgain + j));
        }
    }

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 8 * k;
        _mm256_store_ps (l.x1 + j, x1[k]); _mm256_store_ps (l.x2 + j, x2[k]); _mm256_store_ps (l.x3 + j, x3[k]);
        _mm256_store_ps (l.y1 + j, y1[k]); _mm256_store_ps (l.y2 + j, y2[k]); _mm256_store_ps (l.y3 + j, y3[k]);
    }
}

template <bool withB1>
__attribute__ ((target ("avx2")))
void filterAvx2Lanes (int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    int lane = 0;

    for (; lane + 16 <= numLanes; lane += 16)
        filterAvx2<2, withB1> (n, lane, l, scratch);

    for (; lane + 8 <= numLanes; lane += 8)
        filterAvx2<1, withB1> (n, lane, l, scratch);

    if (lane < numLanes)
        filterSse2<1, withB1> (n, lane, l, scratch);
}

__attribute__ ((target ("avx2")))
void renderAvx2 (const float* line, int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    readAvx2 (line, n, numLanes, l, scratch);

    if (lanesHaveNoB1 (l, numLanes))
        filterAvx2Lanes<false> (n, numLanes, l, scratch);
    else
        filterAvx2Lanes<true> (n, numLanes, l, scratch);
}

//==================================================================================================
// AVX-512: four groups per vector; with 32 registers two such vectors (all 32 lanes) run side by
// side without spilling. Same operations, same order, no FMA. The
// masked forms (all lanes on) give the compiler's headers no undefined source to warn about.

__attribute__ ((target ("avx512f")))
inline __m512 unpackLow64 (__m512 x, __m512 y) noexcept
{
    return _mm512_castpd_ps (_mm512_maskz_unpacklo_pd (0xff, _mm512_castps_pd (x), _mm512_castps_pd (y)));
}

__attribute__ ((target ("avx512f")))
inline __m512 unpackHigh64 (__m512 x, __m512 y) noexcept
{
    return _mm512_castpd_ps (_mm512_maskz_unpackhi_pd (0xff, _mm512_castps_pd (x), _mm512_castps_pd (y)));
}

/** Sixteen vectors of sixteen floats: row k, element s becomes row s, element k. */
__attribute__ ((target ("avx512f")))
inline void transpose16 (__m512 (&r)[16]) noexcept
{
    __m512 a[16], b[16];

    for (int k = 0; k < 16; k += 2)
    {
        a[k] = _mm512_maskz_unpacklo_ps (0xffff, r[k], r[k + 1]);
        a[k + 1] = _mm512_maskz_unpackhi_ps (0xffff, r[k], r[k + 1]);
    }

    // Now each 128-bit quarter q of b[4m + p] holds sample 4q + p of rows 4m .. 4m + 3.
    for (int k = 0; k < 16; k += 4)
    {
        b[k] = unpackLow64 (a[k], a[k + 2]);
        b[k + 1] = unpackHigh64 (a[k], a[k + 2]);
        b[k + 2] = unpackLow64 (a[k + 1], a[k + 3]);
        b[k + 3] = unpackHigh64 (a[k + 1], a[k + 3]);
    }

    for (int p = 0; p < 4; ++p)
    {
        const __m512 low01 = _mm512_maskz_shuffle_f32x4 (0xffff, b[p], b[4 + p], 0x44);
        const __m512 high01 = _mm512_maskz_shuffle_f32x4 (0xffff, b[8 + p], b[12 + p], 0x44);
        const __m512 low23 = _mm512_maskz_shuffle_f32x4 (0xffff, b[p], b[4 + p], 0xee);
        const __m512 high23 = _mm512_maskz_shuffle_f32x4 (0xffff, b[8 + p], b[12 + p], 0xee);
        r[p] = _mm512_maskz_shuffle_f32x4 (0xffff, low01, high01, 0x88);
        r[4 + p] = _mm512_maskz_shuffle_f32x4 (0xffff, low01, high01, 0xdd);
        r[8 + p] = _mm512_maskz_shuffle_f32x4 (0xffff, low23, high23, 0x88);
        r[12 + p] = _mm512_maskz_shuffle_f32x4 (0xffff, low23, high23, 0xdd);
    }
}

/** Reads in tiles of 16 samples by 16 lanes. Within a tile a lane's delay rarely moves, so its
    16 samples are one contiguous stretch of the line (or two, around a one-sample step): one or
    two loads per lane and a transpose into the rows replace 256 single reads. A lane that moves
    further inside the tile, or whose stretch wraps round the end of the line, is read sample by
    sample. */
__attribute__ ((target ("avx512f")))
void readAvx512 (const float* line, int n, int numLanes, const TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m512i mask = _mm512_set1_epi32 (lineMask);
    // Both stretches of a lane (before and after a one-sample step) must lie inside the line.
    const __m512i lastStart = _mm512_set1_epi32 (TapLaneKernel::lineSize - 17);
    const __m512i one = _mm512_set1_epi32 (1);
    const __m512i minusOne = _mm512_set1_epi32 (-1);
    const __mmask16 all = 0xffff;

    for (int j = 0; j < numLanes; j += 16)
    {
        const __m512i offset = _mm512_load_si512 ((const void*) (l.offset + j));
        const __m512 step = _mm512_load_ps (l.step + j);
        __m512 moved = _mm512_setzero_ps();
        int i = 0;

        for (; i + 16 <= n; i += 16)
        {
            alignas (64) int32_t shift[16][16]; // [sample][lane]: whole samples the delay has moved
            alignas (64) int32_t start[16];

            for (int s = 0; s < 16; ++s)
            {
                _mm512_store_si512 ((void*) shift[s], _mm512_maskz_cvttps_epi32 (all, moved));
                moved = _mm512_add_ps (moved, step);
            }

            const __m512i first = _mm512_load_si512 ((const void*) shift[0]);
            const __m512i last = _mm512_load_si512 ((const void*) shift[15]);
            const __m512i begin = _mm512_and_si512 (_mm512_sub_epi32 (_mm512_add_epi32 (offset, _mm512_set1_epi32 (i)), first), mask);
            const __mmask16 inside = _mm512_cmpge_epi32_mask (begin, one) & _mm512_cmple_epi32_mask (begin, lastStart);
            const __m512i moves = _mm512_sub_epi32 (last, first);
            const __mmask16 still = _mm512_cmpeq_epi32_mask (moves, _mm512_setzero_si512()) & inside;
            const __mmask16 oneStep = (_mm512_cmpeq_epi32_mask (moves, one) | _mm512_cmpeq_epi32_mask (moves, minusOne)) & inside;

            // Fast-moving delays (small blocks, deep modulation) leave few lanes contiguous; then
            // plain gathers of whole rows are cheaper than loading lanes one by one.
            if (__builtin_popcount ((unsigned) (still | oneStep)) < 8)
            {
                const __m512i rowStart = _mm512_add_epi32 (offset, _mm512_set1_epi32 (i));

                for (int s = 0; s < 16; ++s)
                {
                    const __m512i index = _mm512_and_si512 (_mm512_sub_epi32 (_mm512_add_epi32 (rowStart, _mm512_set1_epi32 (s)),
                                                                              _mm512_load_si512 ((const void*) shift[s])), mask);
                    _mm512_store_ps (scratch + (i + s) * rowStride + j, _mm512_mask_i32gather_ps (_mm512_setzero_ps(), all, index, line, 4));
                }

                continue;
            }

            // Samples before the lane's single step: the shift is monotonic, so it is a count.
            __m512i before = _mm512_setzero_si512();

            if (oneStep != 0)
                for (int s = 0; s < 16; ++s)
                    before = _mm512_mask_add_epi32 (before, _mm512_cmpeq_epi32_mask (_mm512_load_si512 ((const void*) shift[s]), first), before, one);

            alignas (64) int32_t beforeStep[16], direction[16];
            _mm512_store_si512 ((void*) start, begin);
            _mm512_store_si512 ((void*) beforeStep, before);
            _mm512_store_si512 ((void*) direction, moves);

            __m512 r[16];

            for (int k = 0; k < 16; ++k)
            {
                if ((still >> k) & 1)
                {
                    r[k] = _mm512_loadu_ps (line + start[k]);
                }
                else if ((oneStep >> k) & 1)
                {
                    const auto later = (__mmask16) (0xffffu << beforeStep[k]);
                    r[k] = _mm512_mask_blend_ps (later, _mm512_loadu_ps (line + start[k]),
                                                 _mm512_loadu_ps (line + start[k] - direction[k]));
                }
                else
                {
                    alignas (64) float column[16];

                    for (int s = 0; s < 16; ++s)
                        column[s] = line[(l.offset[j + k] + i + s - shift[s][k]) & lineMask];

                    r[k] = _mm512_load_ps (column);
                }
            }

            transpose16 (r);

            for (int s = 0; s < 16; ++s)
                _mm512_store_ps (scratch + (i + s) * rowStride + j, r[s]);
        }

        __m512i pos = _mm512_add_epi32 (offset, _mm512_set1_epi32 (i));

        for (; i < n; ++i)
        {
            const __m512i index = _mm512_and_si512 (_mm512_sub_epi32 (pos, _mm512_maskz_cvttps_epi32 (all, moved)), mask);
            _mm512_store_ps (scratch + i * rowStride + j, _mm512_mask_i32gather_ps (_mm512_setzero_ps(), all, index, line, 4));
            pos = _mm512_add_epi32 (pos, one);
            moved = _mm512_add_ps (moved, step);
        }
    }
}

template <int K, bool withB1>
__attribute__ ((target ("avx512f")))
void filterAvx512 (int n, int firstLane, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m512 plusOne = _mm512_set1_ps (1.0f);
    const __m512 minusOne = _mm512_set1_ps (-1.0f);
    const __mmask16 all = 0xffff;

    __m512 b0[K], b1[K], b2[K], a1[K], a2[K], gain[K];
    __m512 db0[K], db1[K], db2[K], da1[K], da2[K], dgain[K];
    __m512 x1[K], x2[K], y1[K], y2[K], x3[K], y3[K];

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 16 * k;
        b0[k] = _mm512_load_ps (l.b0 + j); b1[k] = _mm512_load_ps (l.b1 + j); b2[k] = _mm512_load_ps (l.b2 + j);
        a1[k] = _mm512_load_ps (l.a1 + j); a2[k] = _mm512_load_ps (l.a2 + j); gain[k] = _mm512_load_ps (l.gain + j);
        db0[k] = _mm512_load_ps (l.db0 + j); db1[k] = _mm512_load_ps (l.db1 + j); db2[k] = _mm512_load_ps (l.db2 + j);
        da1[k] = _mm512_load_ps (l.da1 + j); da2[k] = _mm512_load_ps (l.da2 + j); dgain[k] = _mm512_load_ps (l.dgain + j);
        x1[k] = _mm512_load_ps (l.x1 + j); x2[k] = _mm512_load_ps (l.x2 + j); x3[k] = _mm512_load_ps (l.x3 + j);
        y1[k] = _mm512_load_ps (l.y1 + j); y2[k] = _mm512_load_ps (l.y2 + j); y3[k] = _mm512_load_ps (l.y3 + j);
    }

    float* row = scratch + firstLane;

    for (int i = 0; i < n; ++i, row += rowStride)
    {
        if (i == n - 1)
            for (int k = 0; k < K; ++k)
            {
                x3[k] = x2[k];
                y3[k] = y2[k];
            }

        for (int k = 0; k < K; ++k)
        {
            const __m512 x = _mm512_load_ps (row + 16 * k);
            __m512 y = _mm512_mul_ps (b0[k], x);

            if constexpr (withB1)
                y = _mm512_add_ps (y, _mm512_mul_ps (b1[k], x1[k]));

            y = _mm512_add_ps (y, _mm512_mul_ps (b2[k], x2[k]));
            y = _mm512_sub_ps (y, _mm512_mul_ps (a1[k], y1[k]));
            y = _mm512_sub_ps (y, _mm512_mul_ps (a2[k], y2[k]));
            y = _mm512_maskz_min_ps (all, _mm512_maskz_max_ps (all, y, minusOne), plusOne);
            _mm512_store_ps (row + 16 * k, _mm512_mul_ps (gain[k], y));

            x2[k] = x1[k]; x1[k] = x;
            y2[k] = y1[k]; y1[k] = y;
            b0[k] = _mm512_add_ps (b0[k], db0[k]);
            if constexpr (withB1)
                b1[k] = _mm512_add_ps (b1[k], db1[k]);
            b2[k] = _mm512_add_ps (b2[k], db2[k]);
            a1[k] = _mm512_add_ps (a1[k], da1[k]);
            a2[k] = _mm512_add_ps (a2[k], da2[k]);
            gain[k] = _mm512_add_ps (gain[k], dgain[k]);
        }
    }

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 16 * k;
        _mm512_store_ps (l.x1 + j, x1[k]); _mm512_store_ps (l.x2 + j, x2[k]); _mm512_store_ps (l.x3 + j, x3[k]);
        _mm512_store_ps (l.y1 + j, y1[k]); _mm512_store_ps (l.y2 + j, y2[k]); _mm512_store_ps (l.y3 + j, y3[k]);
    }
}

template <bool withB1>
__attribute__ ((target ("avx512f")))
void filterAvx512Lanes (int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    int lane = 0;

    if (numLanes == 32)
    {
        filterAvx512<2, withB1> (n, 0, l, scratch);
        return;
    }

    for (; lane + 16 <= numLanes; lane += 16)
        filterAvx512<1, withB1> (n, lane, l, scratch);

    if (lane + 8 <= numLanes)
    {
        filterAvx2<1, withB1> (n, lane, l, scratch);
        lane += 8;
    }

    if (lane < numLanes)
        filterSse2<1, withB1> (n, lane, l, scratch);
}

__attribute__ ((target ("avx512f")))
void renderAvx512 (const float* line, int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    readAvx512 (line, n, numLanes, l, scratch);

    if (lanesHaveNoB1 (l, numLanes))
        filterAvx512Lanes<false> (n, numLanes, l, scratch);
    else
        filterAvx512Lanes<true> (n, numLanes, l, scratch);
}

void sumGroupsSse2 (const float* scratch, int n, int numGroups, float* out) noexcept
{
    int i = 0;

    for (; i + 4 <= n; i += 4)
    {
        const float* rows = scratch + i * rowStride;
        __m128 sum = _mm_setzero_ps();

        for (int g = 0; g < numGroups; ++g)
        {
            __m128 r0 = _mm_load_ps (rows + 4 * g);
            __m128 r1 = _mm_load_ps (rows + rowStride + 4 * g);
            __m128 r2 = _mm_load_ps (rows + 2 * rowStride + 4 * g);
            __m128 r3 = _mm_load_ps (rows + 3 * rowStride + 4 * g);
            _MM_TRANSPOSE4_PS (r0, r1, r2, r3); // now r_k holds lane k of the four samples
            const __m128 groupSum = _mm_add_ps (_mm_add_ps (r0, r1), _mm_add_ps (r2, r3));
            sum = g == 0 ? groupSum : _mm_add_ps (sum, groupSum);
        }

        _mm_storeu_ps (out + i, sum);
    }

    if (i < n)
        sumGroupsPortable (scratch + i * rowStride, n - i, numGroups, out + i);
}

__attribute__ ((target ("avx2")))
void sumGroupsAvx2 (const float* scratch, int n, int numGroups, float* out) noexcept
{
    int i = 0;

    for (; i + 4 <= n; i += 4)
    {
        const float* rows = scratch + i * rowStride;
        __m128 sum = _mm_setzero_ps();
        int g = 0;

        for (; g + 2 <= numGroups; g += 2)
        {
            // Rows of two groups at once; the unpacks work within each 128-bit half, so the
            // low half transposes group g and the high half group g + 1.
            const __m256 r0 = _mm256_load_ps (rows + 4 * g);
            const __m256 r1 = _mm256_load_ps (rows + rowStride + 4 * g);
            const __m256 r2 = _mm256_load_ps (rows + 2 * rowStride + 4 * g);
            const __m256 r3 = _mm256_load_ps (rows + 3 * rowStride + 4 * g);
            const __m256 t0 = _mm256_unpacklo_ps (r0, r1);
            const __m256 t1 = _mm256_unpacklo_ps (r2, r3);
            const __m256 t2 = _mm256_unpackhi_ps (r0, r1);
            const __m256 t3 = _mm256_unpackhi_ps (r2, r3);
            const __m256 lane0 = _mm256_castpd_ps (_mm256_unpacklo_pd (_mm256_castps_pd (t0), _mm256_castps_pd (t1)));
            const __m256 lane1 = _mm256_castpd_ps (_mm256_unpackhi_pd (_mm256_castps_pd (t0), _mm256_castps_pd (t1)));
            const __m256 lane2 = _mm256_castpd_ps (_mm256_unpacklo_pd (_mm256_castps_pd (t2), _mm256_castps_pd (t3)));
            const __m256 lane3 = _mm256_castpd_ps (_mm256_unpackhi_pd (_mm256_castps_pd (t2), _mm256_castps_pd (t3)));
            const __m256 groupSums = _mm256_add_ps (_mm256_add_ps (lane0, lane1), _mm256_add_ps (lane2, lane3));
            const __m128 first = _mm256_castps256_ps128 (groupSums);
            const __m128 second = _mm256_extractf128_ps (groupSums, 1);
            sum = g == 0 ? first : _mm_add_ps (sum, first);
            sum = _mm_add_ps (sum, second);
        }

        if (g < numGroups)
        {
            __m128 r0 = _mm_load_ps (rows + 4 * g);
            __m128 r1 = _mm_load_ps (rows + rowStride + 4 * g);
            __m128 r2 = _mm_load_ps (rows + 2 * rowStride + 4 * g);
            __m128 r3 = _mm_load_ps (rows + 3 * rowStride + 4 * g);
            _MM_TRANSPOSE4_PS (r0, r1, r2, r3);
            const __m128 groupSum = _mm_add_ps (_mm_add_ps (r0, r1), _mm_add_ps (r2, r3));
            sum = g == 0 ? groupSum : _mm_add_ps (sum, groupSum);
        }

        _mm_storeu_ps (out + i, sum);
    }

    if (i < n)
        sumGroupsPortable (scratch + i * rowStride, n - i, numGroups, out + i);
}

/** All eight groups: two 16-lane halves per row, each transposed in its 128-bit quarters. */
__attribute__ ((target ("avx512f")))
void sumGroupsAvx512 (const float* scratch, int n, int numGroups, float* out) noexcept
{
    if (numGroups != 8)
        return sumGroupsAvx2 (scratch, n, numGroups, out);

    const __mmask16 all = 0xffff;
    int i = 0;

    for (; i + 4 <= n; i += 4)
    {
        const float* rows = scratch + i * rowStride;
        __m512 sums[2];

        for (int half = 0; half < 2; ++half)
        {
            const __m512 r0 = _mm512_load_ps (rows + 16 * half);
            const __m512 r1 = _mm512_load_ps (rows + rowStride + 16 * half);
            const __m512 r2 = _mm512_load_ps (rows + 2 * rowStride + 16 * half);
            const __m512 r3 = _mm512_load_ps (rows + 3 * rowStride + 16 * half);
            const __m512 t0 = _mm512_maskz_unpacklo_ps (all, r0, r1);
            const __m512 t1 = _mm512_maskz_unpacklo_ps (all, r2, r3);
            const __m512 t2 = _mm512_maskz_unpackhi_ps (all, r0, r1);
            const __m512 t3 = _mm512_maskz_unpackhi_ps (all, r2, r3);
            const __m512 lane0 = unpackLow64 (t0, t1);
            const __m512 lane1 = unpackHigh64 (t0, t1);
            const __m512 lane2 = unpackLow64 (t2, t3);
            const __m512 lane3 = unpackHigh64 (t2, t3);
            sums[half] = _mm512_add_ps (_mm512_add_ps (lane0, lane1), _mm512_add_ps (lane2, lane3));
        }

        // Quarter q of sums[h] is group 4h + q for the four samples; add them in group order.
        __m128 sum = _mm512_maskz_extractf32x4_ps (0xf, sums[0], 0);
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[0], 1));
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[0], 2));
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[0], 3));
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[1], 0));
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[1], 1));
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[1], 2));
        sum = _mm_add_ps (sum, _mm512_maskz_extractf32x4_ps (0xf, sums[1], 3));
        _mm_storeu_ps (out + i, sum);
    }

    if (i < n)
        sumGroupsPortable (scratch + i * rowStride, n - i, numGroups, out + i);
}

bool processorHasAvx2() noexcept
{
    static const bool hasAvx2 = __builtin_cpu_supports ("avx2");
    return hasAvx2;
}

bool processorHasAvx512() noexcept
{
    static const bool hasAvx512 = __builtin_cpu_supports ("avx512f");
    return hasAvx512;
}
#endif
} // namespace

//==================================================================================================
bool TapLaneKernel::isAvailable (Path path) noexcept
{
    switch (path)
    {
        case Path::automatic:
        case Path::portable:
            return true;
#if ONDULA_X86
        case Path::sse2:
            return true;
        case Path::avx2:
            return processorHasAvx2();
        case Path::avx512:
            return processorHasAvx512();
#else
        case Path::sse2:
        case Path::avx2:
        case Path::avx512:
            return false;
#endif
    }

    return false;
}

TapLaneKernel::Path TapLaneKernel::fastestPath() noexcept
{
#if ONDULA_X86
    return processorHasAvx512() ? Path::avx512 : processorHasAvx2() ? Path::avx2 : Path::sse2;
#else
    return Path::portable;
#endif
}

void TapLaneKernel::render (Path path, const float* line, int n, int numLanes, Lanes& lanes, float* scratch) noexcept
{
    if (path == Path::automatic || ! isAvailable (path))
        path = fastestPath();

#if ONDULA_X86
    if (path == Path::avx512)
        return renderAvx512 (line, n, numLanes, lanes, scratch);

    if (path == Path::avx2)
        return renderAvx2 (line, n, numLanes, lanes, scratch);

    if (path == Path::sse2)
        return renderSse2 (line, n, numLanes, lanes, scratch);
#endif

    renderPortable (line, n, numLanes, lanes, scratch);
}

void TapLaneKernel::sumGroups (Path path, const float* scratch, int n, int numGroups, float* out) noexcept
{
    if (path == Path::automatic || ! isAvailable (path))
        path = fastestPath();

#if ONDULA_X86
    if (path == Path::avx512)
        return sumGroupsAvx512 (scratch, n, numGroups, out);

    if (path == Path::avx2)
        return sumGroupsAvx2 (scratch, n, numGroups, out);

    if (path == Path::sse2)
        return sumGroupsSse2 (scratch, n, numGroups, out);
#endif

    sumGroupsPortable (scratch, n, numGroups, out);
}
