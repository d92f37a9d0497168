#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

/** How alike two renders of interleaved samples are, in the two figures the bounce tests judge
    by: the residual of one against the other, and the level of their worst window. */
namespace SoundComparison
{
    /** RMS of (a - b) over the common length, in dB relative to b's RMS: -infinity when equal,
        +infinity when the lengths differ or b is silent and a is not. */
    inline double residualDb (const std::vector<float>& a, const std::vector<float>& b)
    {
        if (a.size() != b.size())
            return std::numeric_limits<double>::infinity();

        double difference = 0.0, reference = 0.0;

        for (size_t i = 0; i < a.size(); ++i)
        {
            const double d = (double) a[i] - (double) b[i];
            difference += d * d;
            reference += (double) b[i] * b[i];
        }

        if (difference == 0.0)
            return -std::numeric_limits<double>::infinity();

        return reference == 0.0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10 (difference / reference);
    }

    /** The largest level difference in dB between a and b over windows of `seconds` (all
        channels together); windows where both are below -80 dBFS are left out, as silence has no
        level to compare. +infinity when the lengths differ. */
    inline double worstWindowDb (const std::vector<float>& a, const std::vector<float>& b, int channels, int rate,
                                 double seconds = 0.5)
    {
        if (a.size() != b.size())
            return std::numeric_limits<double>::infinity();

        const auto window = (size_t) (seconds * rate) * (size_t) channels;
        double worst = 0.0;

        for (size_t start = 0; start + window <= a.size(); start += window)
        {
            double sa = 0.0, sb = 0.0;

            for (size_t i = start; i < start + window; ++i)
            {
                sa += (double) a[i] * a[i];
                sb += (double) b[i] * b[i];
            }

            const auto ra = std::sqrt (sa / (double) window), rb = std::sqrt (sb / (double) window);

            if (std::max (ra, rb) >= 1.0e-4)
                worst = std::max (worst, std::abs (20.0 * std::log10 ((ra + 1.0e-12) / (rb + 1.0e-12))));
        }

        return worst;
    }

    /** RMS level in dB (all channels together). */
    inline double levelDb (const std::vector<float>& samples)
    {
        double sum = 0.0;

        for (auto s : samples)
            sum += (double) s * s;

        return 10.0 * std::log10 (sum / (double) std::max<size_t> (1, samples.size()) + 1.0e-30);
    }

    /** The interleaved samples after the first `count` (none when there are fewer). */
    inline std::vector<float> after (const std::vector<float>& samples, size_t count)
    {
        return { samples.begin() + (std::ptrdiff_t) std::min (count, samples.size()), samples.end() };
    }

    /** The last `count` interleaved samples (all when there are fewer). */
    inline std::vector<float> tail (const std::vector<float>& samples, size_t count)
    {
        return { samples.end() - (std::ptrdiff_t) std::min (count, samples.size()), samples.end() };
    }
} // namespace SoundComparison
