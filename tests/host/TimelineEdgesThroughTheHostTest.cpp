// The bundle at the edges of a host's timeline, driven with a DAW's own calls (the test host's play
// command): a play head at another speed or standing still, scrubbing, positions far along the
// timeline and before it, and a host that activates the plug-in again.

#include "HostRunner.h"
#include "support/SoundComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

namespace
{
using std::to_string;

const std::string strongModulation = HostRunner::strongModulation();

constexpr int rate = 48000;

std::vector<float> from (const std::vector<float>& interleaved, double seconds)
{
    return SoundComparison::after (interleaved, (size_t) (seconds * rate) * 2);
}
} // namespace

TEST (TimelineEdgesThroughTheHost, APlayHeadAtAnotherSpeedSoundsTheSameAtEveryBlockSize)
{
    const auto arguments = "--signal noise --seconds 4" + strongModulation;

    for (const auto* speed : { "0.5", "2" })
    {
        const auto at = [&] (int block)
        {
            return HostRunner::playCleanly ("speed", "speed 96000 192000 " + to_string (block) + " " + speed, arguments);
        };

        const auto small = at (64), large = at (1024);
        const auto window = SoundComparison::worstWindowDb (from (small.samples, 2.0), from (large.samples, 2.0), 2, rate);
        std::cout << "speed " << speed << ": worst 0.5 s window from 2 s on " << window << " dB apart\n";
        EXPECT_LE (window, 0.1) << "speed " << speed;
    }
}

TEST (TimelineEdgesThroughTheHost, APlayHeadStandingStillSoundsAsPlaybackAndScrubbingIsNeitherSilencedNorBlownUp)
{
    const auto arguments = "--signal noise --seconds 3" + strongModulation;

    for (const int block : { 64, 256, 1024 })
    {
        const auto b = to_string (block);
        const auto playback = SoundComparison::levelDb (from (HostRunner::playCleanly ("playback", "speed 48000 144000 " + b + " 1", arguments).samples, 1.0));
        const auto standing = SoundComparison::levelDb (from (HostRunner::playCleanly ("standing", "speed 48000 144000 " + b + " 0", arguments).samples, 1.0));

        // Scrubbing: the same call's worth of the timeline, back and forth. It hears only a sliver
        // of the wave, so only that it is neither silenced nor blown up is checked.
        std::string scrub;

        for (int done = 0; done < 3 * rate; done += block)
            scrub += "speed " + to_string (48000 + (done / block % 2) * block) + " " + b + " " + b + " 1\n";

        const auto scrubbing = SoundComparison::levelDb (from (HostRunner::playCleanly ("scrubbing", scrub, arguments).samples, 1.0));
        std::cout << "block " << block << ": playback " << playback << " dB, standing still " << standing
                  << " dB, scrubbing " << scrubbing << " dB\n";
        EXPECT_NEAR (standing, playback, 1.0) << "block " << block;
        EXPECT_NEAR (scrubbing, playback, 12.0) << "block " << block;
    }
}

TEST (TimelineEdgesThroughTheHost, FarAlongTheTimelineOrBeforeItTheWaveIsTheWaveNearItsStart)
{
    // Whole periods of the wave later (or earlier), a region sounds as it does near 0. The strong
    // settings sync the wave at 8 Hz (6000 samples at 120 bpm); the shift is also a whole number
    // of control pieces (512 samples), so the pieces fall alike.
    constexpr long long period = 192000, near = 20000;
    const auto render = [] (long long start)
    {
        const auto s = to_string (start);
        return HostRunner::playCleanly ("far", "play " + s + " 96000 512", "--signal noise --seconds 2 --region-at " + s + strongModulation);
    };

    const auto reference = from (render (near).samples, 0.5);

    for (const long long place : { 3600LL * rate, 86400LL * rate, 1LL << 33, 360000LL * rate, -3600LL * rate })
    {
        const auto start = place / period * period + near;
        const auto residual = SoundComparison::residualDb (from (render (start).samples, 0.5), reference);
        std::cout << "at sample " << start << ": residual " << residual << " dB against near 0\n";
        EXPECT_LE (residual, -50.0) << "at sample " << start;
    }
}

TEST (TimelineEdgesThroughTheHost, AReactivationAfterPlaybackStartsAsANewInstance)
{
    // After playback the host switches to an offline export, or to another rate: nothing played
    // before comes out again, and the export is a new instance's.
    struct Case
    {
        const char* reactivation;
        int rate;
    };

    for (const auto& c : { Case { "reactivate", 48000 }, Case { "reactivate 48000 offline", 48000 }, Case { "reactivate 96000", 96000 } })
    {
        // The same 96000 samples of noise at the start of the timeline, whatever the rate.
        const auto region = [] (int at) { return " --rate " + to_string (at) + " --signal noise --seconds " + to_string (96000 / at)
                                               + " --region-at 0" + strongModulation; };
        const auto samples = [&] (double s) { return to_string ((int) (s * c.rate)); };
        const auto before = "play 0 144000 512\n" + std::string (c.reactivation) + "\n";

        // The silence after the region holds no echo of what was played before.
        const auto after = HostRunner::playCleanly ("after", before + "play 480000 " + samples (2) + " 512", region (48000));
        ASSERT_EQ (after.samples.size(), 2u * (144000 + 2 * (size_t) c.rate)) << c.reactivation;
        const std::vector<float> silence (after.samples.begin() + 2 * 144000, after.samples.end());
        EXPECT_EQ (*std::max_element (silence.begin(), silence.end()), 0.0f) << c.reactivation;
        EXPECT_EQ (*std::min_element (silence.begin(), silence.end()), 0.0f) << c.reactivation;

        // A render from the start is a new instance's.
        const auto fresh = HostRunner::playCleanly ("fresh", "play 0 " + samples (3) + " 512", region (c.rate));
        const auto again = HostRunner::playCleanly ("again", before + "play 0 " + samples (3) + " 512", region (48000));
        ASSERT_EQ (again.samples.size(), 2u * 144000 + fresh.samples.size()) << c.reactivation;
        EXPECT_TRUE (std::equal (fresh.samples.begin(), fresh.samples.end(), again.samples.begin() + 2 * 144000)) << c.reactivation;
    }
}
