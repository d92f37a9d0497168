// One source for every instruction set, as in TapLaneKernel.cpp: Highway compiles the vector code
// below once per target (this file includes itself through foreach_target.h) and run() picks one.
// Every path must give the records of the plain rendering bit for bit, so nothing may be fused:
// the project builds with -ffp-contract=off, and the code asks for no fused operation.

#if defined(__clang__)
 #pragma clang fp contract(off)
#endif

#include "engine/WarmUpKernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if ONDULA_HAVE_HIGHWAY
 #ifndef HWY_DISABLED_TARGETS
  #define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
 #endif
 #undef HWY_TARGET_INCLUDE
 #define HWY_TARGET_INCLUDE "engine/WarmUpKernel.cpp"
 #include <hwy/foreach_target.h>
 #include <hwy/highway.h>
#endif

#ifndef ONDULA_WARM_UP_KERNEL_COMMON
#define ONDULA_WARM_UP_KERNEL_COMMON
namespace ondula_warm_up
{
using Inputs = WarmUpKernel::Inputs;
using Records = WarmUpKernel::Records;
constexpr int numTaps = WarmUpKernel::numTaps;
constexpr int numWaves = WarmUpKernel::numWaves;
constexpr int maxPieces = WarmUpKernel::maxPieces;

// Inputs are compared byte for byte, so they hold no padding.
static_assert (sizeof (Inputs) == 8 + 4 * 4 + 4 * (numWaves * numTaps + numWaves + 1 + 2 * numTaps + 8 * numTaps + numWaves)
                                      + numWaves * numTaps + numTaps + 4,
               "WarmUpKernel::Inputs must hold no padding");
static_assert (offsetof (Inputs, enabled) + sizeof (Inputs::enabled) == offsetof (Inputs, rightChannel), "the pan law comes last");

// sin (x pi / 2) for x in 0..1: its Taylor series to x^13 (the first term left out is below 7e-10).
constexpr float s1 = 1.57079637f, s3 = -0.645964086f, s5 = 0.0796926245f, s7 = -0.00468175393f,
                s9 = 0.000160441181f, s11 = -3.59884325e-06f, s13 = 5.69217278e-08f;

// 10^y = 2^n 10^r with |r| <= log10 (2) / 2; 10^r = e^(r ln 10) from its Taylor series to r^7 (the
// first term left out is below 6e-9). log10 (2) is split so that n times its first part (15 bits)
// is exact for every n the centre frequencies need (3 to 13).
constexpr float e0 = 1.0f, e1 = 2.30258512f, e2 = 2.650949f, e3 = 2.0346787f, e4 = 1.17125511f,
                e5 = 0.539382935f, e6 = 0.206995845f, e7 = 0.068089366f;
constexpr float log2Ten = 3.32192802f, log10TwoHigh = 0.301025390625f, log10TwoLow = 4.60503907e-06f;

constexpr float maxDelay = 6144000.0f;

/** What every path works from: each tap's wave as the sine and cosine of its angle (library
    calls, once per warm-up) and each piece's travel as the sine and cosine of its angle. */
struct Prepared
{
    alignas (64) float sinAngle[numWaves][numTaps];
    alignas (64) float cosAngle[numWaves][numTaps];
    alignas (64) float turns[maxPieces];
    alignas (64) float sinTravel[maxPieces];
    alignas (64) float cosTravel[maxPieces];
    alignas (64) float sounds[2][numTaps]; // 1 where the tap sounds, per pan law
    bool right[2];
    int pieces;
};
} // namespace ondula_warm_up
#endif

#if ONDULA_HAVE_HIGHWAY
HWY_BEFORE_NAMESPACE();
namespace ondula_warm_up
{
namespace HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

/** sin (x pi / 2) for x in 0..1, as quarterSine below. */
template <class D, class V>
HWY_INLINE V quarterSine (D d, V x)
{
    const V x2 = hn::Mul (x, x);
    V p = hn::Set (d, s13);
    p = hn::Add (hn::Mul (p, x2), hn::Set (d, s11));
    p = hn::Add (hn::Mul (p, x2), hn::Set (d, s9));
    p = hn::Add (hn::Mul (p, x2), hn::Set (d, s7));
    p = hn::Add (hn::Mul (p, x2), hn::Set (d, s5));
    p = hn::Add (hn::Mul (p, x2), hn::Set (d, s3));
    p = hn::Add (hn::Mul (p, x2), hn::Set (d, s1));
    return hn::Mul (x, p);
}

/** 10^y for y in 1..4, as powerOfTen below. */
template <class D, class V>
HWY_INLINE V powerOfTen (D d, V y)
{
    const hn::RebindToSigned<D> di;
    const auto n = hn::ConvertTo (di, hn::Add (hn::Mul (y, hn::Set (d, log2Ten)), hn::Set (d, 0.5f)));
    const V whole = hn::ConvertTo (d, n);
    const V r = hn::Sub (hn::Sub (y, hn::Mul (whole, hn::Set (d, log10TwoHigh))), hn::Mul (whole, hn::Set (d, log10TwoLow)));
    V p = hn::Set (d, e7);
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e6));
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e5));
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e4));
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e3));
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e2));
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e1));
    p = hn::Add (hn::Mul (p, r), hn::Set (d, e0));
    return hn::Mul (p, hn::BitCast (d, hn::ShiftLeft<23> (hn::Add (n, hn::Set (di, 127)))));
}

/** lo below lo (and for a NaN), else min (v, hi), as the engine's clamp. */
template <class D, class V>
HWY_INLINE V clampTo (D d, V v, float lo, float hi)
{
    return hn::IfThenElse (hn::Ge (v, hn::Set (d, lo)), hn::Min (v, hn::Set (d, hi)), hn::Set (d, lo));
}

/** The travel's sine and cosine at every piece, as travelWave below. */
template <class D>
HWY_INLINE void travelWaves (D d, Prepared& pr)
{
    const hn::RebindToSigned<D> di;
    const auto one = hn::Set (d, 1.0f);
    const auto oneInt = hn::Set (di, 1), twoInt = hn::Set (di, 2), zeroInt = hn::Zero (di);
    const int n = (int) hn::Lanes (d);

    for (int k = 0; k < pr.pieces; k += n)
    {
        const auto x = hn::Mul (hn::Load (d, pr.turns + k), hn::Set (d, 4.0f));
        const auto quarter = hn::ConvertTo (di, x);
        const auto r = hn::Sub (x, hn::ConvertTo (d, quarter));
        const auto rising = quarterSine (d, r), falling = quarterSine (d, hn::Sub (one, r));
        const auto odd = hn::RebindMask (d, hn::Ne (hn::And (quarter, oneInt), zeroInt));
        const auto second = hn::RebindMask (d, hn::Ne (hn::And (quarter, twoInt), zeroInt));
        const auto cosineFalls = hn::RebindMask (d, hn::Ne (hn::And (hn::Add (quarter, oneInt), twoInt), zeroInt));
        const auto sine = hn::IfThenElse (odd, falling, rising);
        const auto cosine = hn::IfThenElse (odd, rising, falling);
        hn::Store (hn::IfThenElse (second, hn::Neg (sine), sine), d, pr.sinTravel + k);
        hn::Store (hn::IfThenElse (cosineFalls, hn::Neg (cosine), cosine), d, pr.cosTravel + k);
    }
}

/** The records of the taps first .. first + Lanes (d) - 1 for Laws pan laws. */
template <int Laws, class D>
HWY_INLINE void settleLanes (D d, const Prepared& pr, const Inputs& in, int first, Records* const* out)
{
    using V = hn::Vec<D>;
    const hn::RebindToSigned<D> di;
    const V zero = hn::Zero (d), one = hn::Set (d, 1.0f);
    const V keep = hn::Set (d, 0.95f), take = hn::Set (d, 0.05f);

    V sinAngle[numWaves], cosAngle[numWaves], halfScale[numWaves];

    for (int p = 0; p < numWaves; ++p)
    {
        sinAngle[p] = hn::Load (d, pr.sinAngle[p] + first);
        cosAngle[p] = hn::Load (d, pr.cosAngle[p] + first);
        halfScale[p] = hn::Set (d, in.halfScale[p]);
    }

    const V delayScale = hn::Set (d, in.delayScale);
    const V depth = hn::LoadU (d, in.depth + first), baseDelay = hn::LoadU (d, in.baseDelay + first);
    const auto still = hn::Eq (depth, zero);
    V weight[4], base[4], heldValue[4];
    decltype (hn::Eq (zero, zero)) held[4], sounds[Laws];

    for (int q = 0; q < 4; ++q)
    {
        weight[q] = hn::LoadU (d, in.weight[q] + first);
        base[q] = hn::LoadU (d, in.base[q] + first);
        held[q] = hn::And (hn::Eq (weight[q], zero), hn::Ne (base[q], zero));
        heldValue[q] = clampTo (d, base[q], 0.0f, 1.0f);
    }

    for (int l = 0; l < Laws; ++l)
        sounds[l] = hn::Ne (hn::Load (d, pr.sounds[l] + first), zero);

    hn::Vec<decltype (di)> delay = hn::Zero (di), delayBase = hn::Zero (di);
    V frequency = zero, bandwidth = zero, amplitude = zero, pan = zero, gain[Laws];

    for (int l = 0; l < Laws; ++l)
        gain[l] = zero;

    for (int k = 0; k < pr.pieces; ++k)
    {
        const V sv = hn::Set (d, pr.sinTravel[k]), cv = hn::Set (d, pr.cosTravel[k]);
        V wave[numWaves];

        for (int p = 0; p < numWaves; ++p)
            wave[p] = hn::Sub (hn::Mul (sinAngle[p], cv), hn::Mul (cosAngle[p], sv));

        const V modulation = hn::IfThenZeroElse (still, hn::Mul (depth, hn::Add (hn::Mul (halfScale[4], wave[4]), delayScale)));
        const V delayTarget = clampTo (d, hn::Add (modulation, baseDelay), 0.0f, maxDelay);
        V control[4];

        for (int q = 0; q < 4; ++q)
            control[q] = hn::IfThenElse (held[q], heldValue[q],
                                         clampTo (d, hn::Add (hn::Mul (weight[q], hn::Mul (halfScale[q], wave[q])), base[q]), 0.0f, 1.0f));

        const V frequencyTarget = powerOfTen (d, hn::Add (one, hn::Mul (hn::Set (d, 2.9542425f), control[0])));
        const V bandwidthTarget = hn::Add (hn::Mul (hn::Mul (control[1], hn::Sqrt (control[1])), hn::Set (d, 14.75f)),
                                           hn::Set (d, 0.25f));
        V gainTarget[Laws];

        for (int l = 0; l < Laws; ++l)
        {
            const V x = pr.right[l] ? control[3] : hn::Sub (one, control[3]);
            gainTarget[l] = hn::IfThenElseZero (sounds[l], hn::Mul (control[2], hn::Sqrt (hn::Mul (x, quarterSine (d, x)))));
        }

        if (k == 0)
        {
            delay = hn::ConvertTo (di, delayTarget);
            delayBase = hn::ConvertTo (di, baseDelay);
            frequency = frequencyTarget;
            bandwidth = bandwidthTarget;
            amplitude = control[2];
            pan = control[3];

            for (int l = 0; l < Laws; ++l)
                gain[l] = gainTarget[l];

            continue;
        }

        delay = hn::ConvertTo (di, hn::Add (hn::Mul (keep, hn::ConvertTo (d, delay)), hn::Mul (take, delayTarget)));
        delayBase = hn::ConvertTo (di, hn::Add (hn::Mul (keep, hn::ConvertTo (d, delayBase)), hn::Mul (take, baseDelay)));
        frequency = hn::Add (hn::Mul (keep, frequency), hn::Mul (take, frequencyTarget));
        bandwidth = hn::Add (hn::Mul (keep, bandwidth), hn::Mul (take, bandwidthTarget));
        amplitude = hn::Add (hn::Mul (keep, amplitude), hn::Mul (take, control[2]));
        pan = hn::Add (hn::Mul (keep, pan), hn::Mul (take, control[3]));

        for (int l = 0; l < Laws; ++l)
            gain[l] = hn::Add (hn::Mul (keep, gain[l]), hn::Mul (take, gainTarget[l]));
    }

    for (int l = 0; l < Laws; ++l)
    {
        auto& r = *out[l];
        hn::StoreU (delay, di, r.delayOndula + first);
        hn::StoreU (delayBase, di, r.delayBase + first);
        hn::StoreU (frequency, d, r.frequency + first);
        hn::StoreU (bandwidth, d, r.bandwidth + first);
        hn::StoreU (amplitude, d, r.amplitude + first);
        hn::StoreU (pan, d, r.pan + first);
        hn::StoreU (gain[l], d, r.gain + first);
    }
}

void runVector (Prepared& pr, const Inputs& in, int laws, Records* const* out)
{
    const hn::ScalableTag<float> d;
    travelWaves (d, pr);

    for (int first = 0; first < numTaps; first += (int) hn::Lanes (d))
    {
        if (laws == 2)
            settleLanes<2> (d, pr, in, first, out);
        else
            settleLanes<1> (d, pr, in, first, out);
    }
}
} // namespace HWY_NAMESPACE
} // namespace ondula_warm_up
HWY_AFTER_NAMESPACE();
#endif // ONDULA_HAVE_HIGHWAY

#if ! ONDULA_HAVE_HIGHWAY || HWY_ONCE
namespace ondula_warm_up
{
namespace
{
using Path = TapLaneKernel::Path;
using RunFunction = void (*) (Prepared&, const Inputs&, int, Records* const*);

//==================================================================================================
// The plain rendering: one tap at a time.

float quarterSine (float x) noexcept
{
    const float x2 = x * x;
    float p = s13;
    p = p * x2 + s11;
    p = p * x2 + s9;
    p = p * x2 + s7;
    p = p * x2 + s5;
    p = p * x2 + s3;
    p = p * x2 + s1;
    return x * p;
}

float powerOfTen (float y) noexcept
{
    const auto n = (int32_t) (y * log2Ten + 0.5f);
    const float whole = (float) n;
    const float r = (y - whole * log10TwoHigh) - whole * log10TwoLow;
    float p = e7;
    p = p * r + e6;
    p = p * r + e5;
    p = p * r + e4;
    p = p * r + e3;
    p = p * r + e2;
    p = p * r + e1;
    p = p * r + e0;
    const auto bits = (uint32_t) (n + 127) << 23;
    float scale;
    std::memcpy (&scale, &bits, sizeof (scale));
    return p * scale;
}

float clampTo (float v, float lo, float hi) noexcept
{
    return v >= lo ? std::min (v, hi) : lo;
}

/** sin and cos of 2 pi turn from the quarter wave: turn * 4 and its whole part are exact. */
void travelWave (float turn, float& sine, float& cosine) noexcept
{
    const float x = turn * 4.0f;
    const auto quarter = (int32_t) x;
    const float r = x - (float) quarter;
    const float rising = quarterSine (r), falling = quarterSine (1.0f - r);
    const bool odd = (quarter & 1) != 0, second = (quarter & 2) != 0;
    sine = odd ? falling : rising;
    cosine = odd ? rising : falling;
    sine = second ? -sine : sine;
    cosine = odd != second ? -cosine : cosine;
}

void runPortable (Prepared& pr, const Inputs& in, int laws, Records* const* out)
{
    for (int k = 0; k < pr.pieces; ++k)
        travelWave (pr.turns[k], pr.sinTravel[k], pr.cosTravel[k]);

    for (int t = 0; t < numTaps; ++t)
    {
        int32_t delay = 0, delayBase = 0;
        float frequency = 0.0f, bandwidth = 0.0f, amplitude = 0.0f, pan = 0.0f, gain[2] {};

        for (int k = 0; k < pr.pieces; ++k)
        {
            float wave[numWaves];

            for (int p = 0; p < numWaves; ++p)
                wave[p] = pr.sinAngle[p][t] * pr.cosTravel[k] - pr.cosAngle[p][t] * pr.sinTravel[k];

            const float modulation = in.depth[t] == 0.0f ? 0.0f : in.depth[t] * (in.halfScale[4] * wave[4] + in.delayScale);
            const float delayTarget = clampTo (modulation + in.baseDelay[t], 0.0f, maxDelay);
            float control[4];

            for (int q = 0; q < 4; ++q)
            {
                const float w = in.weight[q][t], b = in.base[q][t];
                control[q] = w == 0.0f && b != 0.0f ? clampTo (b, 0.0f, 1.0f)
                                                    : clampTo (w * (in.halfScale[q] * wave[q]) + b, 0.0f, 1.0f);
            }

            const float frequencyTarget = powerOfTen (1.0f + 2.9542425f * control[0]);
            const float bandwidthTarget = (control[1] * std::sqrt (control[1])) * 14.75f + 0.25f;
            float gainTarget[2];

            for (int l = 0; l < laws; ++l)
            {
                const float x = pr.right[l] ? control[3] : 1.0f - control[3];
                gainTarget[l] = pr.sounds[l][t] != 0.0f ? control[2] * std::sqrt (x * quarterSine (x)) : 0.0f;
            }

            if (k == 0)
            {
                delay = (int32_t) delayTarget;
                delayBase = (int32_t) in.baseDelay[t];
                frequency = frequencyTarget;
                bandwidth = bandwidthTarget;
                amplitude = control[2];
                pan = control[3];

                for (int l = 0; l < laws; ++l)
                    gain[l] = gainTarget[l];

                continue;
            }

            delay = (int32_t) (0.95f * (float) delay + 0.05f * delayTarget);
            delayBase = (int32_t) (0.95f * (float) delayBase + 0.05f * in.baseDelay[t]);
            frequency = 0.95f * frequency + 0.05f * frequencyTarget;
            bandwidth = 0.95f * bandwidth + 0.05f * bandwidthTarget;
            amplitude = 0.95f * amplitude + 0.05f * control[2];
            pan = 0.95f * pan + 0.05f * control[3];

            for (int l = 0; l < laws; ++l)
                gain[l] = 0.95f * gain[l] + 0.05f * gainTarget[l];
        }

        for (int l = 0; l < laws; ++l)
        {
            auto& r = *out[l];
            r.delayOndula[t] = delay;
            r.delayBase[t] = delayBase;
            r.frequency[t] = frequency;
            r.bandwidth[t] = bandwidth;
            r.amplitude[t] = amplitude;
            r.pan[t] = pan;
            r.gain[t] = gain[l];
        }
    }
}

/** The library calls every path shares: each tap's wave angle, once per warm-up. */
void prepare (Prepared& pr, const WarmUpKernel::Job* jobs, int laws) noexcept
{
    const auto& in = *jobs[0].inputs;

    for (int p = 0; p < numWaves; ++p)
    {
        const int source = in.source[p] >= 0 && in.source[p] <= p ? in.source[p] : p;

        for (int t = 0; t < numTaps; ++t)
        {
            const bool own = source == p && in.wanted[p][t] != 0;
            pr.sinAngle[p][t] = source != p ? pr.sinAngle[source][t] : own ? std::sin (in.angle[p][t]) : 0.0f;
            pr.cosAngle[p][t] = source != p ? pr.cosAngle[source][t] : own ? std::cos (in.angle[p][t]) : 0.0f;
        }
    }

    pr.pieces = std::clamp (in.pieces, 1, maxPieces);
    std::copy (jobs[0].turns, jobs[0].turns + pr.pieces, pr.turns);
    std::fill (pr.turns + pr.pieces, pr.turns + maxPieces, 0.0f);

    for (int l = 0; l < laws; ++l)
    {
        pr.right[l] = jobs[l].inputs->rightChannel != 0;

        for (int t = 0; t < numTaps; ++t)
            pr.sounds[l][t] = jobs[l].inputs->enabled[t] != 0 ? 1.0f : 0.0f;
    }
}

RunFunction vectorCode (Path path) noexcept
{
#if ONDULA_HAVE_HIGHWAY
    switch (path)
    {
        case Path::avx512: return HWY_CHOOSE_AVX3 (runVector);
        case Path::avx2:   return HWY_CHOOSE_AVX2 (runVector);
        case Path::sse4:   return HWY_CHOOSE_SSE4 (runVector);
        case Path::ssse3:  return HWY_CHOOSE_SSSE3 (runVector);
        case Path::neon:   return HWY_CHOOSE_NEON (runVector);
 #if HWY_TARGETS & HWY_SCALAR
        case Path::scalar: return &N_SCALAR::runVector;
 #elif HWY_TARGETS & HWY_EMU128
        case Path::scalar: return &N_EMU128::runVector;
 #endif
        default: break;
    }
#else
    (void) path;
#endif
    return nullptr;
}
} // namespace
} // namespace ondula_warm_up

//==================================================================================================
void WarmUpKernel::run (TapLaneKernel::Path path, const Job* jobs, int count) noexcept
{
    using namespace ondula_warm_up;

    if (path == Path::automatic || ! TapLaneKernel::isAvailable (path))
        path = TapLaneKernel::fastestPath();

    auto* function = path == Path::portable ? nullptr : vectorCode (path);

    if (function == nullptr)
        function = runPortable;

    // A pair whose inputs agree but for the pan law shares the wave, the controls and their steps.
    const bool shared = count == 2 && std::memcmp (jobs[0].inputs, jobs[1].inputs, offsetof (Inputs, enabled)) == 0;
    const int laws = shared ? 2 : 1;

    for (int j = 0; j < count; j += laws)
    {
        Prepared pr;
        prepare (pr, jobs + j, laws);
        Records* out[2] { jobs[j].records, shared ? jobs[j + 1].records : nullptr };
        function (pr, *jobs[j].inputs, laws, out);
    }
}
#endif
