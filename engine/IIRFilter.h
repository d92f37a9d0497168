#pragma once

#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

/** One biquad section: its design rate, raw and normalised coefficients and a direct-form-I
    history, for one biquad (type T) and for four biquads run side by side in the lanes of one
    vector (always single precision). It designs band-passes and evaluates magnitudes; the users
    run the difference equation themselves with bNorm/aNorm and keep the history here. */
template <typename T>
class IIRFilter
{
public:
    using Lanes = juce::dsp::SIMDRegister<float>;

    int order = 3;
    float sampleRate = 48000.0f;

    T a[3] { T (1), T (0), T (0) };
    T b[3] { T (1), T (0), T (0) };
    T aNorm[3] { T (1), T (0), T (0) };
    T bNorm[3] { T (1), T (0), T (0) };

    T x1 = T (0), x2 = T (0), x3 = T (0);
    T y1 = T (0), y2 = T (0), y3 = T (0);

    Lanes laneX1 = Lanes::expand (0.0f), laneX2 = Lanes::expand (0.0f), laneX3 = Lanes::expand (0.0f);
    Lanes laneY1 = Lanes::expand (0.0f), laneY2 = Lanes::expand (0.0f), laneY3 = Lanes::expand (0.0f);

    /** Empties the history of the single biquad and of the lanes. */
    void clearHistory() noexcept
    {
        x1 = x2 = x3 = y1 = y2 = y3 = T (0);
        laneX1 = laneX2 = laneX3 = laneY1 = laneY2 = laneY3 = Lanes::expand (0.0f);
    }

    /** Band-pass with a 0 dB peak at f0 (Hz) and a width of bw octaves between the -3 dB points.
        Only the coefficient sets change; the history is left as it is. */
    void makeBiquadFlatBand (float f0, float bw) noexcept
    {
        const float fs = sampleRate;
        limitBand (f0, bw, fs);

        // 2 pi to ten significant digits, as the design has always used.
        const double w0 = (double) f0 * 6.283185307 / (double) fs;
        const double s = std::sin (w0);
        const double c = std::cos (w0);
        // ln 2 / 2; w0 / s undoes the frequency warping of the bilinear transform.
        const double alpha = s * std::sinh (0.34657359027997264 * (double) bw * w0 / s);

        const T alphaT = (T) alpha;
        b[0] = alphaT;
        b[1] = T (0);
        b[2] = -alphaT;
        a[0] = (T) (1.0 + alpha);
        a[1] = (T) (-2.0 * c);
        a[2] = (T) (1.0 - alpha);

        for (int i = 0; i < order && i < 3; ++i)
        {
            aNorm[i] = a[i] / a[0];
            bNorm[i] = b[i] / a[0];
        }
    }

    /** The normalised sets of many band-passes at once, each exactly what makeBiquadFlatBand
        gives at the rate fs (order 3). Every stage runs across all bands before the next, so the
        library calls and divisions of different bands overlap instead of waiting on each other. */
    static void designFlatBands (const float* f0, const float* bw, int count, float fs, T (*bNormOut)[3], T (*aNormOut)[3]) noexcept
    {
        constexpr int batch = 32;

        for (int first = 0; first < count; first += batch)
        {
            const int m = count - first < batch ? count - first : batch;
            double w0[batch], s[batch], c[batch], shape[batch];
            float width[batch];

            for (int i = 0; i < m; ++i)
            {
                float centre = f0[first + i];
                width[i] = bw[first + i];
                limitBand (centre, width[i], fs);
                w0[i] = (double) centre * 6.283185307 / (double) fs;
            }

            for (int i = 0; i < m; ++i)
            {
                s[i] = std::sin (w0[i]);
                c[i] = std::cos (w0[i]);
            }

            for (int i = 0; i < m; ++i)
                shape[i] = 0.34657359027997264 * (double) width[i] * w0[i] / s[i];

            for (int i = 0; i < m; ++i)
                shape[i] = std::sinh (shape[i]);

            for (int i = 0; i < m; ++i)
            {
                const double alpha = s[i] * shape[i];
                const T alphaT = (T) alpha;
                const T rawB[3] { alphaT, T (0), -alphaT };
                const T rawA[3] { (T) (1.0 + alpha), (T) (-2.0 * c[i]), (T) (1.0 - alpha) };

                for (int k = 0; k < 3; ++k)
                {
                    aNormOut[first + i][k] = rawA[k] / rawA[0];
                    bNormOut[first + i][k] = rawB[k] / rawA[0];
                }
            }
        }
    }

    /** The band a design actually uses for a centre f0 and a width bw at the rate fs. */
    static void limitBand (float& f0, float& bw, float fs) noexcept
    {
        // The upper band edge is held to sixteen times the rate: the lower edge stays and the
        // centre moves to the geometric mean of the two edges.
        const float upperEdgeLimit = 16.0f * fs;
        const float halfWidth = 0.5f * bw;

        // 2^ceil(halfWidth) bounds the power from above, so a band whose edge stays below the
        // limit even then needs no power at all: the comparison would give the same answer.
        bool mayExceed = ! (halfWidth <= 64.0f);

        if (! mayExceed)
        {
            const float bounded = std::max (halfWidth, -64.0f);
            int ceiling = (int) bounded;
            ceiling += (float) ceiling < bounded ? 1 : 0;

            // 2^ceiling exactly, from its exponent bits.
            const auto bits = (uint64_t) (ceiling + 1023) << 52;
            double power;
            std::memcpy (&power, &bits, sizeof (power));
            mayExceed = (double) f0 * power > (double) upperEdgeLimit;
        }

        if (mayExceed && std::exp2 ((double) halfWidth) * (double) f0 > (double) upperEdgeLimit)
        {
            const float lower = (float) (std::exp2 ((double) -halfWidth) * (double) f0);
            bw = std::log2 (upperEdgeLimit / lower);
            f0 = (float) (std::exp2 ((double) (0.5f * bw)) * (double) lower);
        }

        // The design breaks down as the centre reaches half the rate (alpha overflows or turns
        // negative); below 20 kHz rates the engine's 9 kHz top centre would get there.
        const float highestCentre = nyquistGuard * fs;

        if (f0 > highestCentre)
            f0 = highestCentre;
    }

    /** Linear magnitude of the section's response at f Hz, from the raw coefficient sets. */
    double getMagnitude_d (double f) const noexcept
    {
        const double w = f * -6.283185307179586 / (double) sampleRate;
        const std::complex<double> z = std::polar (1.0, w);
        const std::complex<double> num = (double) b[0] + (double) b[1] * z + (double) b[2] * z * z;
        const std::complex<double> den = (double) a[0] + (double) a[1] * z + (double) a[2] * z * z;
        const std::complex<double> h = num / den;
        return std::hypot (h.real(), h.imag());
    }

    /** Highest centre frequency a design uses, as a fraction of the sample rate. */
    static constexpr float nyquistGuard = 0.45f;
};
