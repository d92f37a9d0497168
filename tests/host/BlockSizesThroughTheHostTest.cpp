// The built bundle as a DAW drives it: the same stream rendered in the blocks of playback and in
// the long blocks of an offline bounce, at the rates hosts run, and input that is not finite.

#include "HostRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{
/** Stereo noise (uniform, +-0.5) for `noiseSeconds`, then silence, interleaved. */
std::vector<float> burstThenSilence (int rate, double noiseSeconds, double seconds)
{
    std::vector<float> samples ((size_t) (seconds * rate) * 2, 0.0f);
    std::mt19937 random (5);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

    for (size_t i = 0; i < (size_t) (noiseSeconds * rate) * 2; ++i)
        samples[i] = noise (random);

    return samples;
}

std::vector<float> renderThroughTheHost (const std::string& input, const std::string& name, const std::string& blocks,
                                         const std::string& extra = {})
{
    const auto out = HostRunner::scratch (name + ".wav");
    const auto result = HostRunner::run ("render", "--in '" + input + "' --out '" + out + "' --bpm 120 --blocks " + blocks + " " + extra);
    EXPECT_EQ (result.exitCode, 0) << result.output;
    EXPECT_EQ (result["nonfinite"], "0") << name;
    return HostRunner::readWavSamples (out);
}

std::string randomBlockSizes (unsigned seed)
{
    std::mt19937 random (seed);
    std::uniform_int_distribution<int> size (1, 8192);
    std::ostringstream list;

    for (int i = 0; i < 200; ++i)
        list << (i > 0 ? "," : "") << size (random);

    return list.str();
}
} // namespace

TEST (BlockSizesThroughTheHost, ABounceInLongBlocksSoundsLikePlaybackAtEveryRate)
{
    // Every window of 100 ms of the tail (above -60 dBFS), and the peak after the burst, against
    // the render in blocks of 32.
    for (const int rate : { 48000, 384000 })
    {
        const auto input = HostRunner::scratch ("burst-" + std::to_string (rate) + ".wav");
        HostRunner::writeWavSamples (input, burstThenSilence (rate, 0.25, 1.0), 2, rate);
        const auto reference = renderThroughTheHost (input, "playback-" + std::to_string (rate), "32");
        ASSERT_FALSE (reference.empty());

        for (const auto& blocks : { std::string ("4096"), std::string ("8192"), randomBlockSizes ((unsigned) rate) })
        {
            const auto bounce = renderThroughTheHost (input, "bounce-" + std::to_string (rate), blocks);
            ASSERT_EQ (bounce.size(), reference.size());

            const size_t window = (size_t) rate / 10 * 2, tailStart = (size_t) rate / 4 * 2;
            double worstDb = 0.0;
            float peakReference = 0.0f, peakBounce = 0.0f;

            for (size_t start = tailStart; start + window <= reference.size(); start += window)
            {
                double a = 0.0, b = 0.0;

                for (size_t i = start; i < start + window; ++i)
                {
                    a += (double) reference[i] * reference[i];
                    b += (double) bounce[i] * bounce[i];
                    peakReference = std::max (peakReference, std::abs (reference[i]));
                    peakBounce = std::max (peakBounce, std::abs (bounce[i]));
                }

                const double ra = std::sqrt (a / (double) window), rb = std::sqrt (b / (double) window);

                if (std::max (ra, rb) > 1.0e-3)
                    worstDb = std::max (worstDb, std::abs (20.0 * std::log10 ((rb + 1.0e-12) / (ra + 1.0e-12))));
            }

            const auto label = std::to_string (rate) + " Hz, blocks " + blocks.substr (0, 20);
            std::cout << label << ": worst tail window " << worstDb << " dB, peak " << peakBounce << " against " << peakReference << "\n";
            EXPECT_LT (worstDb, 0.01) << label;
            EXPECT_NEAR (peakBounce, peakReference, 1.0e-5f) << label;
        }
    }
}

TEST (BlockSizesThroughTheHost, NoNonFiniteSampleLeavesTheBundleWhateverTheMix)
{
    auto samples = burstThenSilence (48000, 0.05, 0.2);
    samples[2000] = std::numeric_limits<float>::quiet_NaN();
    samples[4001] = std::numeric_limits<float>::infinity();
    samples[6000] = -std::numeric_limits<float>::infinity();
    const auto input = HostRunner::scratch ("poisoned.wav");
    HostRunner::writeWavSamples (input, samples, 2, 48000);

    for (const char* mix : { "dry=0 --set delay_globals_dynamics_wet=1", "dry=1 --set delay_globals_dynamics_wet=0",
                             "dry=1 --set delay_globals_dynamics_wet=1" })
    {
        // renderThroughTheHost checks the host's count of non-finite output samples.
        const auto out = renderThroughTheHost (input, "poisoned-out", "512", std::string ("--set delay_globals_dynamics_") + mix);
        EXPECT_EQ (out.size(), samples.size()) << mix;
    }
}
