// The processor at the edges of a host's timeline: hosts that move at every call (varispeed,
// scrubbing, a play head that never advances), positions before 0 and far along the timeline, and
// a host that prepares the plug-in again.

#include "support/DawCallPattern.h"
#include "support/SoundComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
using SoundComparison::levelDb;

/** What the host recorded from a sample on, interleaved. */
std::vector<float> recordedFrom (const DawCallPattern& host, size_t sample)
{
    return SoundComparison::after (host.interleavedRecording(), 2 * sample);
}

/** The Ondula wave at full depth on every quantity at its default speed (it repeats every 2 s at
    120 bpm), wet only. */
void strongModulation (OndulaDelayAudioProcessor& p)
{
    DawCallPattern::strongModulation (p, false);
}

juce::AudioBuffer<float> noise (double rate, double seconds)
{
    return DawCallPattern::noiseThenSilence (rate, seconds, seconds);
}

/** The median over windows of `seconds` of the residual of a against b, in dB. */
double medianWindowResidualDb (const std::vector<float>& a, const std::vector<float>& b, int rate, double seconds = 0.5)
{
    const auto window = (size_t) (seconds * rate) * 2;
    std::vector<double> residuals;

    for (size_t start = 0; start + window <= std::min (a.size(), b.size()); start += window)
        residuals.push_back (SoundComparison::residualDb ({ a.begin() + (std::ptrdiff_t) start, a.begin() + (std::ptrdiff_t) (start + window) },
                                                         { b.begin() + (std::ptrdiff_t) start, b.begin() + (std::ptrdiff_t) (start + window) }));

    if (residuals.empty())
        return std::numeric_limits<double>::infinity();

    std::sort (residuals.begin(), residuals.end());
    return residuals[residuals.size() / 2];
}

constexpr int rate = 48000;
} // namespace

TEST (PluginProcessorTimelineEdges, AHostPlayingAtAnotherSpeedSoundsTheSameAtEveryBlockSize)
{
    for (const double speed : { 0.5, 2.0 })
    {
        std::vector<float> renders[2];
        const int blocks[2] { 64, 1024 };

        for (int b = 0; b < 2; ++b)
        {
            DawCallPattern host (rate, 1024);
            strongModulation (host.processor());
            host.source = noise (rate, 4.0);
            host.moving (96000, 4 * rate, { blocks[b] }, speed);
            renders[b] = recordedFrom (host, 2 * rate);
        }

        EXPECT_LE (SoundComparison::worstWindowDb (renders[0], renders[1], 2, rate), 0.1) << "speed " << speed;
    }
}

TEST (PluginProcessorTimelineEdges, AHostThatNeverAdvancesSoundsAsPlaybackAndScrubbingIsNeitherSilencedNorBlownUp)
{
    // A play head that reports the same place at every call must neither freeze the wave nor
    // silence the compressor, whose chunks a move at every short call would otherwise never end.
    for (const int block : { 64, 256, 1024 })
    {
        const auto render = [block] (double speed, bool scrub)
        {
            DawCallPattern host (rate, 1024);
            strongModulation (host.processor());
            host.source = noise (rate, 3.0);

            if (scrub)
                for (int done = 0; done < 3 * rate; done += block)
                    host.moving (48000 + (done / block % 2) * block, block, { block }, 1.0);
            else
                host.moving (48000, 3 * rate, { block }, speed);

            return recordedFrom (host, rate);
        };

        const auto playback = render (1.0, false);
        EXPECT_NEAR (levelDb (render (0.0, false)), levelDb (playback), 1.0) << "standing still, block " << block;
        // Scrubbing hears only a sliver of the wave, over and over, so only that it is neither
        // silenced nor blown up is checked.
        EXPECT_NEAR (levelDb (render (1.0, true)), levelDb (playback), 12.0) << "scrubbing, block " << block;
    }
}

TEST (PluginProcessorTimelineEdges, APreRollBeforeZeroMeetsZeroExactly)
{
    // After a count-in of any length, at any block size, what follows 0 is what a render that
    // starts at 0 gives.
    std::vector<float> fromZero;
    {
        DawCallPattern host (rate, 512);
        strongModulation (host.processor());
        host.source = noise (rate, 3.0);
        host.play (0, 3 * rate, { 512 });
        fromZero = recordedFrom (host, 2 * rate);
    }

    for (const int preRoll : { 1, 511, 96000, 96001 })
        for (const int block : { 64, 512 })
        {
            DawCallPattern host (rate, 512);
            strongModulation (host.processor());
            host.source = noise (rate, 3.0);
            host.play (-preRoll, preRoll + 3 * rate, { block });
            EXPECT_LE (SoundComparison::residualDb (recordedFrom (host, (size_t) (preRoll + 2 * rate)), fromZero), -100.0)
                << "pre-roll " << preRoll << ", block " << block;
        }
}

TEST (PluginProcessorTimelineEdges, TheWaveIsAsExactFarAlongTheTimelineAsNearItsStart)
{
    // Shifted by whole periods of the wave, a render sounds as it does near 0.
    constexpr juce::int64 period = 4 * rate;
    const auto render = [] (juce::int64 start)
    {
        DawCallPattern host (rate, 512);
        strongModulation (host.processor());
        host.source = noise (rate, 2.0);
        host.regionStart = start;
        host.play (start, 2 * rate, { 512 });
        return recordedFrom (host, rate / 2);
    };

    const auto nearZero = render (period / 3);

    for (const juce::int64 place : { juce::int64 (3600) * rate, juce::int64 (86400) * rate, juce::int64 (1) << 33,
                                     juce::int64 (360000) * rate, juce::int64 (-3600) * rate, juce::int64 (1) << 40 })
    {
        const auto shifted = place / period * period + period / 3;
        EXPECT_LE (medianWindowResidualDb (render (shifted), nearZero, rate), -50.0) << "at sample " << shifted;
    }
}

TEST (PluginProcessorTimelineEdges, APrepareStartsCleanAsANewInstanceDoes)
{
    struct Case
    {
        double firstRate, secondRate;
        bool offline;
    };

    for (const auto& c : { Case { 48000.0, 48000.0, false }, Case { 48000.0, 48000.0, true }, Case { 44100.0, 96000.0, false } })
    {
        const auto second = (int) c.secondRate;
        DawCallPattern used (c.firstRate, 512);
        strongModulation (used.processor());
        used.source = noise (c.firstRate, 3.0);
        used.play (0, (int) (3 * c.firstRate), { 512 });

        // Nothing played before comes out again.
        used.reactivate (c.secondRate, c.offline);
        used.recording[0].clear();
        used.recording[1].clear();
        used.source.setSize (2, 1);
        used.source.clear();
        used.play (0, 2 * second, { 512 });
        const auto afterwards = used.interleavedRecording();
        EXPECT_EQ (*std::max_element (afterwards.begin(), afterwards.end(), [] (float a, float b) { return std::abs (a) < std::abs (b); }), 0.0f)
            << c.firstRate << " -> " << c.secondRate;

        // And a render is a new instance's (which a host prepares once its settings are in).
        DawCallPattern fresh (c.secondRate, 512);
        strongModulation (fresh.processor());
        fresh.reactivate (c.secondRate, c.offline);
        fresh.source = noise (c.secondRate, 3.0);
        fresh.play (0, 3 * second, { 512 });

        used.recording[0].clear();
        used.recording[1].clear();
        used.source = noise (c.secondRate, 3.0);
        used.reactivate (c.secondRate, c.offline);
        used.play (0, 3 * second, { 512 });

        EXPECT_EQ (used.interleavedRecording(), fresh.interleavedRecording()) << c.firstRate << " -> " << c.secondRate;
    }
}

TEST (PluginProcessorTimelineEdges, PositionsAtTheEndsOf64BitsPlayWithoutOverflow)
{
    // Any position a host can report is taken (or held at the timeline's limit) and counted on
    // from, without overflowing anywhere; the sanitizer build checks the arithmetic.
    DawCallPattern host (rate, 512);
    strongModulation (host.processor());
    host.source = noise (rate, 1.0);
    constexpr auto most = std::numeric_limits<juce::int64>::max();
    constexpr auto least = std::numeric_limits<juce::int64>::min();

    for (const auto position : { most, most, least, least + 1, most - 511, juce::int64 (0), least })
        host.moving (position, 512, { 512 }, 1.0);

    host.moving (most - 5000, 4096, { 64 }, 1.0);
    host.moving (least, 4096, { 64 }, 0.5);
    host.stopped (48000, { 512 }, most);

    const auto out = host.interleavedRecording();
    EXPECT_TRUE (std::all_of (out.begin(), out.end(), [] (float s) { return std::isfinite (s) && std::abs (s) <= 4.0f; }));
    EXPECT_LE (host.processor().leftDelay.timelinePosition(), OndulaDelay::timelineLimit);
}
