// Host automation through the bundle as a DAW sends it (the test host's play command): points
// inside blocks at their sample offsets, host-side edits between calls, stored values before
// playback; with the plug-in's message thread idle and kept busy.

#include "HostRunner.h"
#include "support/SoundComparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace
{
using std::to_string;

std::string printedDb (double db)
{
    return std::isinf (db) ? (db < 0 ? "-inf" : "+inf") : to_string (db);
}

/** The default settings tree with some of its text replaced, written to a file of this test. */
std::string treeFile (const std::string& name, const std::vector<std::pair<std::string, std::string>>& replacements)
{
    return HostRunner::writeTree (HostRunner::scratch (name + ".xml"), replacements);
}

/** The first frame at which two stereo recordings differ, or -1. */
long long firstDifferentFrame (const std::vector<float>& a, const std::vector<float>& b)
{
    for (size_t i = 0; i < std::min (a.size(), b.size()); ++i)
        if (a[i] != b[i])
            return (long long) i / 2;

    return -1;
}

struct AutomationCase
{
    std::string name, automation, source;
    int block;
};

void PrintTo (const AutomationCase& c, std::ostream* out) { *out << c.name; }

// Ramps from 0.25 s to 1.75 s with a point every 300 samples, so they fall at every offset of
// the blocks; a point at 0 holds the start value from the first call, as a DAW's automation does.
std::vector<AutomationCase> automationCases()
{
    const AutomationCase ramps[] = {
        { "WetRampOverClicks", "point delay_globals_dynamics_wet 0 0\nramp delay_globals_dynamics_wet 12000 84000 0 1 300\n",
          "--signal clicks --seconds 2", 0 },
        { "OndulaAmountRampOverNoise", "point delay_globals_ondula_amount 0 0\nramp delay_globals_ondula_amount 12000 84000 0 1 300\n",
          "--signal noise --seconds 1", 0 },
    };

    std::vector<AutomationCase> cases;

    for (const auto& ramp : ramps)
    {
        for (const int block : { 64, 1024, 4096 })
        {
            cases.push_back (ramp);
            cases.back().name += "InBlocksOf" + to_string (block);
            cases.back().block = block;
        }
    }

    return cases;
}

std::string bounce (const AutomationCase& c, int block) { return c.automation + "play 0 96000 " + to_string (block); }

class AutomatedBounceThroughTheHost : public ::testing::TestWithParam<AutomationCase> {};
} // namespace

TEST_P (AutomatedBounceThroughTheHost, IsTheSameOnEveryRunAndAlikeAtEveryBlockSize)
{
    // Three bounces, then three with the plug-in's message thread kept busy: the same samples
    // every time; and every 0.5 s window alike to the bounce in blocks of 64.
    constexpr int rate = 48000;
    const auto& c = GetParam();
    HostRunner::Result reference;

    for (const bool busy : { false, true })
    {
        for (int run = 1; run <= 3; ++run)
        {
            const auto label = c.name + (busy ? ", message thread busy" : "") + ", run " + to_string (run);
            const auto render = HostRunner::play ("automated", bounce (c, c.block), c.source + " --offline" + (busy ? " --busy-message-thread" : ""));
            ASSERT_EQ (render.exitCode, 0) << label << "\n" << render.output;
            ASSERT_EQ (render.samples.size(), 96000u * 2) << label;
            ASSERT_EQ (render["nonfinite"], "0") << label;

            if (busy)
            {
                EXPECT_GT (std::stoll (render["busy.getStateCalls"]), 0) << label;
            }

            if (reference.samples.empty())
            {
                reference = render;
                continue;
            }

            const auto residual = SoundComparison::residualDb (render.samples, reference.samples);
            std::cout << label << ": residual " << printedDb (residual) << " dB against run 1\n";
            EXPECT_LE (residual, -100.0) << label;
        }
    }

    if (c.block == 64)
        return;

    const auto smallBlocks = HostRunner::play ("automated-64", bounce (c, 64), c.source + " --offline");
    ASSERT_EQ (smallBlocks.exitCode, 0) << smallBlocks.output;
    const auto window = SoundComparison::worstWindowDb (reference.samples, smallBlocks.samples, 2, rate);
    std::cout << c.name << ": worst 0.5 s window " << window << " dB from blocks of 64\n";
    EXPECT_LE (window, 0.1) << c.name;
}

INSTANTIATE_TEST_SUITE_P (Ramps, AutomatedBounceThroughTheHost, ::testing::ValuesIn (automationCases()),
                          [] (const ::testing::TestParamInfo<AutomationCase>& info) { return info.param.name; });

TEST (AutomationThroughTheHost, AValueStoredBeforePlaybackIsAppliedTheSameWayOnEveryRun)
{
    // As a DAW restores a project's value: to the controller, and as a point at the first call.
    const std::string arguments = "--signal noise --seconds 1 --set delay_globals_ondula_amount=1";
    const auto reference = HostRunner::play ("stored", "play 0 72000 1024", arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;
    ASSERT_EQ (reference.samples.size(), 72000u * 2);
    EXPECT_EQ (reference["param." + HostRunner::vst3Number ("delay_globals_ondula_amount")], "1.000000000");

    for (const char* extra : { "", " --busy-message-thread", " --busy-message-thread" })
    {
        const auto render = HostRunner::play ("stored-again", "play 0 72000 1024", arguments + extra);
        ASSERT_EQ (render.exitCode, 0) << render.output;
        const auto residual = SoundComparison::residualDb (render.samples, reference.samples);
        std::cout << "stored value, again" << extra << ": residual " << printedDb (residual) << " dB\n";
        EXPECT_LE (residual, -100.0) << extra;
    }
}

TEST (AutomationThroughTheHost, ANegativeAutomationAmountSurvivesPlaybackThatAutomatesAnotherParameter)
{
    // Only the tree can hold a negative amount (its host parameter runs from 0 to 1). Playback
    // that automates the wet level must leave it: in the state after the run, and in the sound,
    // which after the ramp equals a run with the wet level stored at the ramp's end and no
    // automation at all.
    const std::string negative = "<automation_frequency value=\"0.2000000029802322\" scale_y=\"-0.5\"";
    const std::string frequencyNode = "<automation_frequency value=\"0.2000000029802322\" scale_y=\"0.300000011920929\"";
    const std::string dynamics = "<delay_globals_dynamics dry=\"0.5\" wet=\"0.5\"";
    const auto automated = treeFile ("negative-wet-0", { { frequencyNode, negative }, { dynamics, "<delay_globals_dynamics dry=\"0.5\" wet=\"0.0\"" } });
    const auto still = treeFile ("negative-wet-1", { { frequencyNode, negative }, { dynamics, "<delay_globals_dynamics dry=\"0.5\" wet=\"1.0\"" } });
    const auto state = HostRunner::scratch ("negative-after.component");
    constexpr int length = 96000, settled = 48000;

    const auto withRamp = HostRunner::play ("negative-automated",
                                            "ramp delay_globals_dynamics_wet 4800 24000 0 1 480\nplay 0 " + to_string (length) + " 1024",
                                            "--signal clicks --seconds 2 --tree-in '" + automated + "' --state-out '" + state + "'");
    const auto withoutRamp = HostRunner::play ("negative-still", "play 0 " + to_string (length) + " 1024",
                                               "--signal clicks --seconds 2 --tree-in '" + still + "'");
    ASSERT_EQ (withRamp.exitCode, 0) << withRamp.output;
    ASSERT_EQ (withoutRamp.exitCode, 0) << withoutRamp.output;
    ASSERT_EQ (withRamp.samples.size(), (size_t) length * 2);

    EXPECT_DOUBLE_EQ (HostRunner::treeValue (HostRunner::readFile (state), "automation_frequency", "scale_y"), -0.5);
    EXPECT_DOUBLE_EQ (HostRunner::treeValue (HostRunner::readFile (state), "delay_globals_dynamics", "wet"), 1.0);

    const auto residual = SoundComparison::residualDb (SoundComparison::tail (withRamp.samples, (size_t) (length - settled) * 2),
                                                       SoundComparison::tail (withoutRamp.samples, (size_t) (length - settled) * 2));
    std::cout << "negative amount, from 1 s on: residual " << printedDb (residual) << " dB\n";
    EXPECT_LE (residual, -100.0);
}

TEST (AutomationThroughTheHost, AHostChangeReachesTheSoundAtTheFirstControlPieceAtOrAfterIt)
{
    // Pieces are 512 samples at 48 kHz on the timeline. A step inside a long block, and an edit
    // made between two calls: the output is untouched before the piece and changes within it;
    // the controller then reports the value. The step is sent as a VST3 host sends one, with the
    // old value at the sample before it: a lone point would end a ramp from the block's start.
    struct Case
    {
        const char* name;
        std::string steps;
        long long pieceStart;
    };

    const Case cases[] = {
        { "a step at 15460 inside the block from 12288",
          "point delay_globals_dynamics_wet 15459 0.5\npoint delay_globals_dynamics_wet 15460 1\nplay 0 24000 4096", 15872 },
        { "an edit between the calls ending and starting at 15360",
          "play 0 15360 1024\nedit delay_globals_dynamics_wet 1\nplay 15360 8640 1024", 15360 },
    };

    // Noise from the start, so that echoes are playing when the wet level changes.
    const std::string source = "--signal noise --seconds 0.5";
    const auto unchanged = HostRunner::play ("unchanged", "play 0 24000 4096", source);
    ASSERT_EQ (unchanged.exitCode, 0) << unchanged.output;
    ASSERT_EQ (unchanged.samples.size(), 24000u * 2);

    for (const auto& c : cases)
    {
        const auto changed = HostRunner::play ("changed", c.steps, source);
        ASSERT_EQ (changed.exitCode, 0) << c.name << "\n" << changed.output;
        ASSERT_EQ (changed.samples.size(), unchanged.samples.size()) << c.name;
        EXPECT_EQ (changed["param." + HostRunner::vst3Number ("delay_globals_dynamics_wet")], "1.000000000") << c.name;

        const auto first = firstDifferentFrame (changed.samples, unchanged.samples);
        std::cout << c.name << ": the output changes at " << first << ", the piece starts at " << c.pieceStart << "\n";
        EXPECT_GE (first, c.pieceStart) << c.name;
        EXPECT_LT (first, c.pieceStart + 512) << c.name;
    }
}

TEST (AutomationThroughTheHost, ADenseLinePlaysExactlyAsTheSameLineSentAsOnePointPerPiece)
{
    // Sine lines on the wet level and the Ondula amount in calls of 4096, with a point every 1, 8
    // or 32 samples, against the same lines with one point at each control piece (every 512
    // samples): the same samples.
    constexpr int length = 3 * 4096 + 1000;

    const auto lines = [] (int every)
    {
        std::string steps;
        const char* ids[] { "delay_globals_dynamics_wet", "delay_globals_ondula_amount" };

        for (int k = 0; k < 2; ++k)
            for (int at = 0; at < length; at += every)
            {
                char value[32];
                std::snprintf (value, sizeof value, "%.9f", 0.5 + 0.45 * std::sin (0.0011 * (k + 1) * at + k));
                steps += std::string ("point ") + ids[k] + " " + to_string (at) + " " + value + "\n";
            }

        return steps + "play 0 " + to_string (length) + " 4096";
    };

    const std::string source = "--signal noise --seconds 0.3 --offline";
    const auto onePerPiece = HostRunner::play ("dense-reference", lines (512), source);
    ASSERT_EQ (onePerPiece.exitCode, 0) << onePerPiece.output;
    ASSERT_EQ (onePerPiece.samples.size(), (size_t) length * 2);

    for (const int every : { 1, 8, 32 })
    {
        const auto dense = HostRunner::play ("dense-" + to_string (every), lines (every), source);
        ASSERT_EQ (dense.exitCode, 0) << every << "\n" << dense.output;
        const auto first = firstDifferentFrame (dense.samples, onePerPiece.samples);
        std::cout << "a point every " << every << " samples: first difference at " << first << "\n";
        EXPECT_EQ (dense.samples.size(), onePerPiece.samples.size()) << every;
        EXPECT_EQ (first, -1) << "a point every " << every << " samples";
    }
}

TEST (AutomationThroughTheHost, ARampSentAsOnePointPerBlockAtItsLastSamplePlaysAsTheSameRampWithAPointAtEverySample)
{
    // A queue without a point at 0 starts from the parameter's value at offset -1, so a ramp of
    // constant slope sent as one point per block, at its last sample, is that ramp. The Ondula
    // amount and the wet level go 0.2 -> 0.8 over 147456 samples (36 blocks of 4096); the
    // reference has a point at every sample. Also in calls of 4096 that the client slices, at an
    // announced 512 and at 300, which does not divide the calls.
    constexpr int rampEnd = 147455, length = 168000;
    const char* ids[] { "delay_globals_ondula_amount", "delay_globals_dynamics_wet" };
    const auto lineAt = [] (int position) { return 0.2 + 0.6 * position / (double) rampEnd; };

    const auto ramps = [&] (int every)
    {
        std::string steps;
        char values[64];
        std::snprintf (values, sizeof values, "%.17g 0.8 %d", lineAt (every - 1), every);

        for (const auto* id : ids)
            steps += std::string ("ramp ") + id + " " + (every == 1 ? "0" : to_string (every - 1)) + " " + to_string (rampEnd) + " " + values + "\n";

        return steps;
    };

    const auto source = "--signal noise --seconds 1" + HostRunner::strongModulation()
                      + " --set delay_globals_ondula_amount=0.2 --set delay_globals_dynamics_wet=0.2";
    const auto dense = HostRunner::play ("ramp-dense", ramps (1) + "play 0 " + to_string (length) + " 4096", source);
    ASSERT_EQ (dense.exitCode, 0) << dense.output;
    ASSERT_EQ (dense.samples.size(), (size_t) length * 2);

    struct Case
    {
        int block;
        const char* announced;
    };

    for (const auto& c : { Case { 512, "" }, Case { 2048, "" }, Case { 4096, "" }, Case { 4096, "512" }, Case { 4096, "300" } })
    {
        const auto label = "one point per block of " + to_string (c.block) + (*c.announced != 0 ? std::string (" announced as ") + c.announced : "");
        const auto sparse = HostRunner::play ("ramp-sparse", ramps (c.block) + "play 0 " + to_string (length) + " " + to_string (c.block),
                                              source + (*c.announced != 0 ? std::string (" --announced-max-block ") + c.announced : ""));
        ASSERT_EQ (sparse.exitCode, 0) << label << "\n" << sparse.output;
        ASSERT_EQ (sparse.samples.size(), dense.samples.size()) << label;

        const auto residual = SoundComparison::residualDb (sparse.samples, dense.samples);
        std::cout << label << ": residual " << printedDb (residual) << " dB against a point at every sample\n";
        EXPECT_LE (residual, -100.0) << label;
    }
}
