#include "engine/TapLaneKernel.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
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
// SSE2: four lanes (one group) per vector; K groups are interleaved so that the recursion of one
// group hides the latency of the other.
template <int K>
void renderSse2Groups (const float* line, int n, int firstLane, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m128i mask = _mm_set1_epi32 (lineMask);
    const __m128i one = _mm_set1_epi32 (1);
    const __m128 plusOne = _mm_set1_ps (1.0f);
    const __m128 minusOne = _mm_set1_ps (-1.0f);

    __m128i pos[K];
    __m128 moved[K], step[K], b0[K], b1[K], b2[K], a1[K], a2[K], gain[K];
    __m128 x1[K], x2[K], x3[K], y1[K], y2[K], y3[K];

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 4 * k;
        pos[k] = _mm_load_si128 ((const __m128i*) (l.offset + j));
        moved[k] = _mm_setzero_ps();
        step[k] = _mm_load_ps (l.step + j);
        b0[k] = _mm_load_ps (l.b0 + j); b1[k] = _mm_load_ps (l.b1 + j); b2[k] = _mm_load_ps (l.b2 + j);
        a1[k] = _mm_load_ps (l.a1 + j); a2[k] = _mm_load_ps (l.a2 + j); gain[k] = _mm_load_ps (l.gain + j);
        x1[k] = _mm_load_ps (l.x1 + j); x2[k] = _mm_load_ps (l.x2 + j); x3[k] = _mm_load_ps (l.x3 + j);
        y1[k] = _mm_load_ps (l.y1 + j); y2[k] = _mm_load_ps (l.y2 + j); y3[k] = _mm_load_ps (l.y3 + j);
    }

    for (int i = 0; i < n; ++i)
    {
        float* row = scratch + i * rowStride + firstLane;

        for (int k = 0; k < K; ++k)
        {
            const int j = firstLane + 4 * k;
            alignas (16) int32_t index[4];
            _mm_store_si128 ((__m128i*) index,
                             _mm_and_si128 (_mm_sub_epi32 (pos[k], _mm_cvttps_epi32 (moved[k])), mask));
            const __m128 x = _mm_setr_ps (line[index[0]], line[index[1]], line[index[2]], line[index[3]]);
            pos[k] = _mm_add_epi32 (pos[k], one);
            moved[k] = _mm_add_ps (moved[k], step[k]);

            __m128 y = _mm_mul_ps (b0[k], x);
            y = _mm_add_ps (y, _mm_mul_ps (b1[k], x1[k]));
            y = _mm_add_ps (y, _mm_mul_ps (b2[k], x2[k]));
            y = _mm_sub_ps (y, _mm_mul_ps (a1[k], y1[k]));
            y = _mm_sub_ps (y, _mm_mul_ps (a2[k], y2[k]));
            y = _mm_min_ps (_mm_max_ps (y, minusOne), plusOne);

            _mm_store_ps (row + 4 * k, _mm_mul_ps (gain[k], y));

            x3[k] = x2[k]; x2[k] = x1[k]; x1[k] = x;
            y3[k] = y2[k]; y2[k] = y1[k]; y1[k] = y;
            b0[k] = _mm_add_ps (b0[k], _mm_load_ps (l.db0 + j));
            b1[k] = _mm_add_ps (b1[k], _mm_load_ps (l.db1 + j));
            b2[k] = _mm_add_ps (b2[k], _mm_load_ps (l.db2 + j));
            a1[k] = _mm_add_ps (a1[k], _mm_load_ps (l.da1 + j));
            a2[k] = _mm_add_ps (a2[k], _mm_load_ps (l.da2 + j));
            gain[k] = _mm_add_ps (gain[k], _mm_load_ps (l.dgain + j));
        }
    }

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 4 * k;
        _mm_store_ps (l.x1 + j, x1[k]); _mm_store_ps (l.x2 + j, x2[k]); _mm_store_ps (l.x3 + j, x3[k]);
        _mm_store_ps (l.y1 + j, y1[k]); _mm_store_ps (l.y2 + j, y2[k]); _mm_store_ps (l.y3 + j, y3[k]);
    }
}

void renderSse2 (const float* line, int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    int lane = 0;

    for (; lane + 8 <= numLanes; lane += 8)
        renderSse2Groups<2> (line, n, lane, l, scratch);

    if (lane < numLanes)
        renderSse2Groups<1> (line, n, lane, l, scratch);
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

//==================================================================================================
// AVX2: two groups per vector, gathers for the reads. No FMA: the products and sums stay separate
// so that the results equal the other paths bit for bit.
template <int K>
__attribute__ ((target ("avx2")))
void renderAvx2Pairs (const float* line, int n, int firstLane, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    const __m256i mask = _mm256_set1_epi32 (lineMask);
    const __m256i one = _mm256_set1_epi32 (1);
    const __m256 plusOne = _mm256_set1_ps (1.0f);
    const __m256 minusOne = _mm256_set1_ps (-1.0f);

    __m256i pos[K];
    __m256 moved[K], step[K], b0[K], b1[K], b2[K], a1[K], a2[K], gain[K];
    __m256 x1[K], x2[K], x3[K], y1[K], y2[K], y3[K];

    for (int k = 0; k < K; ++k)
    {
        const int j = firstLane + 8 * k;
        pos[k] = _mm256_load_si256 ((const __m256i*) (l.offset + j));
        moved[k] = _mm256_setzero_ps();
        step[k] = _mm256_load_ps (l.step + j);
        b0[k] = _mm256_load_ps (l.b0 + j); b1[k] = _mm256_load_ps (l.b1 + j); b2[k] = _mm256_load_ps (l.b2 + j);
        a1[k] = _mm256_load_ps (l.a1 + j); a2[k] = _mm256_load_ps (l.a2 + j); gain[k] = _mm256_load_ps (l.gain + j);
        x1[k] = _mm256_load_ps (l.x1 + j); x2[k] = _mm256_load_ps (l.x2 + j); x3[k] = _mm256_load_ps (l.x3 + j);
        y1[k] = _mm256_load_ps (l.y1 + j); y2[k] = _mm256_load_ps (l.y2 + j); y3[k] = _mm256_load_ps (l.y3 + j);
    }

    for (int i = 0; i < n; ++i)
    {
        float* row = scratch + i * rowStride + firstLane;

        for (int k = 0; k < K; ++k)
        {
            const int j = firstLane + 8 * k;
            const __m256i index = _mm256_and_si256 (_mm256_sub_epi32 (pos[k], _mm256_cvttps_epi32 (moved[k])), mask);
            const __m256 x = _mm256_i32gather_ps (line, index, 4);
            pos[k] = _mm256_add_epi32 (pos[k], one);
            moved[k] = _mm256_add_ps (moved[k], step[k]);

            __m256 y = _mm256_mul_ps (b0[k], x);
            y = _mm256_add_ps (y, _mm256_mul_ps (b1[k], x1[k]));
            y = _mm256_add_ps (y, _mm256_mul_ps (b2[k], x2[k]));
            y = _mm256_sub_ps (y, _mm256_mul_ps (a1[k], y1[k]));
            y = _mm256_sub_ps (y, _mm256_mul_ps (a2[k], y2[k]));
            y = _mm256_min_ps (_mm256_max_ps (y, minusOne), plusOne);

            _mm256_store_ps (row + 8 * k, _mm256_mul_ps (gain[k], y));

            x3[k] = x2[k]; x2[k] = x1[k]; x1[k] = x;
            y3[k] = y2[k]; y2[k] = y1[k]; y1[k] = y;
            b0[k] = _mm256_add_ps (b0[k], _mm256_load_ps (l.db0 + j));
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

__attribute__ ((target ("avx2")))
void renderAvx2 (const float* line, int n, int numLanes, TapLaneKernel::Lanes& l, float* scratch) noexcept
{
    int lane = 0;

    for (; lane + 16 <= numLanes; lane += 16)
        renderAvx2Pairs<2> (line, n, lane, l, scratch);

    for (; lane + 8 <= numLanes; lane += 8)
        renderAvx2Pairs<1> (line, n, lane, l, scratch);

    if (lane < numLanes)
        renderSse2Groups<1> (line, n, lane, l, scratch);
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

bool processorHasAvx2() noexcept
{
    static const bool hasAvx2 = __builtin_cpu_supports ("avx2");
    return hasAvx2;
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
#else
        case Path::sse2:
        case Path::avx2:
            return false;
#endif
    }

    return false;
}

TapLaneKernel::Path TapLaneKernel::fastestPath() noexcept
{
#if ONDULA_X86
    return processorHasAvx2() ? Path::avx2 : Path::sse2;
#else
    return Path::portable;
#endif
}

void TapLaneKernel::render (Path path, const float* line, int n, int numLanes, Lanes& lanes, float* scratch) noexcept
{
    if (path == Path::automatic || ! isAvailable (path))
        path = fastestPath();

#if ONDULA_X86
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
    if (path == Path::avx2)
        return sumGroupsAvx2 (scratch, n, numGroups, out);

    if (path == Path::sse2)
        return sumGroupsSse2 (scratch, n, numGroups, out);
#endif

    sumGroupsPortable (scratch, n, numGroups, out);
}
