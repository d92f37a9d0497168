// The bundle while a DAW moves its play head as it plays (the test host's play command, with live
// input running on): a loop restart, a jump, reverse play and fast-forward each sound like a change
// of place, never louder than the place before and the place after; a host that rounds its
// positions by a sample either way sounds as steady playback.

#include "HostRunner.h"
#include "support/SoundComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace
{
using std::to_string;

constexpr int rate = 48000;

/** The interleaved stereo frames [from, from + count) of a recording, in milliseconds. */
std::vector<float> stretch (const std::vector<float>& samples, double fromMs, double ms)
{
    const auto first = std::min (samples.size(), 2 * (size_t) std::llround (fromMs * rate / 1000.0));
    const auto last = std::min (samples.size(), first + 2 * (size_t) std::llround (ms * rate / 1000.0));
    return { samples.begin() + (std::ptrdiff_t) first, samples.begin() + (std::ptrdiff_t) last };
}

double peakDb (const std::vector<float>& samples)
{
    float peak = 0.0f;

    for (auto s : samples)
        peak = std::max (peak, std::abs (s));

    return 20.0 * std::log10 ((double) peak + 1.0e-30);
}

/** How a render that moved at `moveMs` compares with the place it left (its own 50 ms before the
    move) and the place it reached (a render whose play head went through the same place at the
    same moment with the same input): the worst 10 ms window of the first 50 ms and the first 30 ms
    against the louder of the two, the peak of the first 50 ms against the louder side's, and the
    worst 0.5 s window from 0.5 s on against the place reached. */
struct MoveFigures
{
    double worstWindow = 0.0, first30 = 0.0, peak = 0.0, settled = 0.0;

    MoveFigures (const std::vector<float>& moved, const std::vector<float>& reached, double moveMs)
    {
        const auto before = stretch (moved, moveMs - 50.0, 50.0);
        const auto louder = [&] (double fromMs, double ms)
        {
            return std::max (SoundComparison::levelDb (before), SoundComparison::levelDb (stretch (reached, moveMs + fromMs, ms)));
        };

        worstWindow = -1000.0;

        for (double w = 0.0; w < 50.0; w += 10.0)
            worstWindow = std::max (worstWindow, SoundComparison::levelDb (stretch (moved, moveMs + w, 10.0)) - louder (w, 10.0));

        first30 = SoundComparison::levelDb (stretch (moved, moveMs, 30.0)) - louder (0.0, 30.0);
        peak = peakDb (stretch (moved, moveMs, 50.0)) - std::max (peakDb (before), peakDb (stretch (reached, moveMs, 50.0)));

        const auto rest = SoundComparison::after (moved, 2 * (size_t) ((moveMs + 500.0) * rate / 1000.0));
        const auto restReached = SoundComparison::after (reached, 2 * (size_t) ((moveMs + 500.0) * rate / 1000.0));
        settled = SoundComparison::worstWindowDb (rest, restReached, 2, rate);
    }
};
} // namespace

TEST (MovesThroughTheHost, ALoopRestartOrAJumpIsNeverLouderThanThePlaceItLeavesAndThePlaceItReaches)
{
    // 48 kHz noise as live input, every modulation at its strongest. A 72,000-sample loop with the
    // wave free-running (no whole number of its periods), the host splitting the call at the loop's
    // end; a jump by 10 s and a quarter of the synced wave's period (6000 samples at 120 bpm).
    struct Case
    {
        const char* name;
        int block;
        bool freeWave;
        long long from, leg, to; // playing `leg` samples from `from` again and again, then moving to `to`
    };

    // The move comes after three passes of the loop (or three loops' worth of playback), when the
    // lines and the feedback have filled.
    const Case cases[] {
        { "a loop restart, block 512", 512, true, 24000, 72000, 24000 },
        { "a loop restart, block 1024", 1024, true, 24000, 72000, 24000 },
        { "a jump by part of a wave period, block 64", 64, false, 24000, 216000, 24000 + 216000 + 480000 + 1500 },
        { "a jump by part of a wave period, block 4096", 4096, false, 24000, 216000, 24000 + 216000 + 480000 + 1500 },
    };

    for (const auto& c : cases)
    {
        const auto arguments = "--signal noise --seconds 7" + HostRunner::strongModulation()
                             + (c.freeWave ? " --set delay_globals_ondula_time_mode=0" : "");
        const auto b = " " + to_string (c.block) + " 1\n";
        const long long leaveAfter = 216000, after = 72000;
        std::string steps;

        for (long long done = 0; done < leaveAfter; done += c.leg)
            steps += "speed " + to_string (c.from) + " " + to_string (c.leg) + b;

        const auto moved = HostRunner::playCleanly ("moved", steps + "speed " + to_string (c.to) + " " + to_string (after) + b, arguments);
        const auto reached = HostRunner::playCleanly ("reached", "speed " + to_string (c.to - leaveAfter) + " " + to_string (leaveAfter + after) + b,
                                     arguments);
        ASSERT_EQ (moved.samples.size(), reached.samples.size()) << c.name;

        const MoveFigures f (moved.samples, reached.samples, 1000.0 * (double) leaveAfter / rate);
        std::cout << c.name << ": worst 10 ms window " << f.worstWindow << " dB, first 30 ms " << f.first30 << " dB, peak "
                  << f.peak << " dB above the louder side; from 0.5 s on " << f.settled << " dB from the place reached\n";
        EXPECT_LE (f.worstWindow, 3.0) << c.name;
        EXPECT_LE (f.first30, 1.5) << c.name;
        EXPECT_LE (f.peak, 2.0) << c.name;
        EXPECT_LE (f.settled, 0.5) << c.name;
    }
}

TEST (MovesThroughTheHost, ReversePlayFastForwardAndScrubbingAreNoLouderThanPlayback)
{
    // Every call of these is a move: backwards, beyond the speeds taken as motion, or between two
    // places a call apart in turn (which hears only a sliver of the wave, so may be quieter).
    const auto arguments = "--signal noise --seconds 3" + HostRunner::strongModulation();

    for (const int block : { 512, 1024 })
    {
        const auto b = to_string (block);
        const auto run = [&] (const std::string& steps)
        {
            return SoundComparison::after (HostRunner::playCleanly ("moving", steps, arguments).samples, 2 * (size_t) rate / 2);
        };

        std::string scrub;

        for (int done = 0; done < 3 * rate; done += block)
            scrub += "speed " + to_string (480000 + (done / block % 2) * block) + " " + b + " " + b + " 1\n";

        struct Case { const char* name; std::string steps; double quietest; };
        const auto atSpeed = [&] (const char* speed) { return "speed 480000 144000 " + b + " " + speed; };
        const Case cases[] { { "reverse play", atSpeed ("-1"), -6.0 }, { "fast-forward at 20x", atSpeed ("20"), -6.0 },
                             { "scrubbing", scrub, -12.0 } };
        const auto playback = run (atSpeed ("1"));

        for (const auto& c : cases)
        {
            const auto moving = run (c.steps);
            const auto level = SoundComparison::levelDb (moving) - SoundComparison::levelDb (playback);
            const auto peak = peakDb (moving) - peakDb (playback);
            const auto label = std::string (c.name) + ", block " + b;
            std::cout << label << ": " << level << " dB, peak " << peak << " dB against playback\n";
            EXPECT_LE (level, 1.5) << label;
            EXPECT_GE (level, c.quietest) << label;
            EXPECT_LE (peak, 1.0) << label;
        }
    }
}

TEST (MovesThroughTheHost, PositionsRoundedBySampleEitherWaySoundAsSteadyPlayback)
{
    // A host that derives its positions from musical time and rounds: after an exact start, each
    // call reports its position a sample early, on time or a sample late.
    const auto arguments = "--signal noise --seconds 2" + HostRunner::strongModulation();
    constexpr int block = 64, calls = 1200;
    std::mt19937 random (33);
    std::uniform_int_distribution<int> offset (-1, 1);

    const auto wobbling = [&] (const auto& offsetOf)
    {
        std::string steps;

        for (int i = 0; i < calls; ++i)
            steps += "speed " + to_string (48000 + block * i + (i == 0 ? 0 : offsetOf (i))) + " 64 64 1\n";

        return steps;
    };

    const auto steady = HostRunner::playCleanly ("steady", "speed 48000 " + to_string (block * calls) + " 64 1", arguments);
    const auto randomly = HostRunner::playCleanly ("random", wobbling ([&] (int) { return offset (random); }), arguments);
    const auto alternating = HostRunner::playCleanly ("alternating", wobbling ([] (int i) { return i % 2 == 0 ? 1 : -1; }), arguments);

    for (const auto* r : { &randomly, &alternating })
    {
        const auto residual = SoundComparison::residualDb (r->samples, steady.samples);
        std::cout << (r == &randomly ? "random" : "alternating") << " +-1: residual " << residual << " dB against steady playback\n";
        EXPECT_LE (residual, -100.0) << (r == &randomly ? "random" : "alternating");
    }
}
