#include "support/EngineTestRig.h"
#include "support/ScalarOndulaOracle.h"
#include "support/StereoEngineRig.h"

#include "processor/PluginProcessor.h"
#include "processor/QuorlStyleCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
std::vector<float> silence (int n) { return std::vector<float> ((size_t) n, 0.0f); }

void processBlocks (EngineTestRig& rig, int count, int blockSize)
{
    for (int b = 0; b < count; ++b)
    {
        auto block = silence (blockSize);
        rig.process (block);
    }
}

/** Renders `total` samples of silence in blocks of at most blockSize. */
void processSamples (EngineTestRig& rig, int total, int blockSize)
{
    for (int done = 0; done < total; done += blockSize)
    {
        auto block = silence (std::min (blockSize, total - done));
        rig.process (block);
    }
}

/** Leaves only the given pattern on and the Ondula wave off, so the records show the bare grid. */
void plainGrid (EngineTestRig& rig, const char* pattern)
{
    rig.set ("delay_pattern", "pattern_l", pattern);
    rig.set ("delay_pattern", "pattern_r", pattern);
    rig.set ("delay_globals_ondula", "amount", 0.0);
}

//==================================================================================================
// Settings handlers

TEST (OndulaDelaySettings, DefaultCurvesGiveTheKnownTapColumns)
{
    EngineTestRig rig;
    const auto s = rig.engine->currentSettings();

    // Frequency: value 0.2 plus 0.3 of a curve from 1 down to 0.
    EXPECT_NEAR (s.tapTable[0][0], 0.5f, 1.0e-6f);
    EXPECT_NEAR (s.tapTable[31][0], 0.2f, 1.0e-6f);

    // Amplitude: a straight line from 1 to 0 across the taps.
    for (int t = 0; t < 32; ++t)
        EXPECT_NEAR (s.tapTable[t][2], 1.0f - (float) t / 31.0f, 1.0e-6f) << t;

    // Pan: 0.5 everywhere. Ondula weights: frequency 0.5, bandwidth 1, amplitude 0, pan 0, delay 1.
    const float weights[5] { 0.5f, 1.0f, 0.0f, 0.0f, 1.0f };

    for (int t = 0; t < 32; ++t)
    {
        EXPECT_EQ (s.tapTable[t][3], 0.5f) << t;

        for (int q = 0; q < 5; ++q)
            EXPECT_EQ (s.tapTable[t][4 + q], weights[q]) << "tap " << t << " weight " << q;
    }
}

TEST (OndulaDelaySettings, NegativeAutomationAmountSubtractsTheCurve)
{
    EngineTestRig rig;
    rig.set ("automation_frequency", "scale_y", -0.3);
    const auto s = rig.engine->currentSettings();

    EXPECT_EQ (s.tapTable[0][0], 0.0f); // 0.2 - 0.3, held at 0
    EXPECT_NEAR (s.tapTable[31][0], 0.2f, 1.0e-6f);
}

TEST (OndulaDelaySettings, SinglePointOndulaCurvesWeighEveryTapAlike)
{
    const char* nodes[5] { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" };

    for (int q = 0; q < 5; ++q)
        for (float height : { 0.0f, 0.5f, 1.0f })
        {
            EngineTestRig rig;
            rig.set (nodes[q], "curve", "0 " + juce::String (height) + " 0\n");
            const auto s = rig.engine->currentSettings();

            for (int t = 0; t < 32; ++t)
                ASSERT_EQ (s.tapTable[t][4 + q], height) << nodes[q] << " tap " << t;
        }
}

TEST (OndulaDelaySettings, CurveTextWithoutAPointKeepsTheColumn)
{
    EngineTestRig rig;
    const float before = rig.engine->currentSettings().tapTable[5][0];

    rig.set ("automation_frequency", "curve", "not a curve");
    rig.set ("ondula_delay", "curve", " ");

    const auto s = rig.engine->currentSettings();
    EXPECT_EQ (s.tapTable[5][0], before);
    EXPECT_EQ (s.tapTable[5][8], 1.0f);
}

// The curve editor reads at most its point limit of a curve's text; the engine plays the same
// points, so what sounds is what the editor shows, and a huge hand-made curve costs nothing more.
TEST (OndulaDelaySettings, ACurveBeyondTheEditorsLimitPlaysTheFirstPointsTheEditorShows)
{
    std::string shown, whole;

    for (int i = 0; i < QuorlStyleCurve::storedPointLimit; ++i)
        shown += std::to_string ((i * 37 % 128) / 127.0) + " " + std::to_string ((i % 7) / 6.0) + " 0.25\n";

    whole = shown;
    for (int i = 0; i < 100000; ++i)
        whole += "0.5 1 0\n";

    EngineTestRig limited, long_;

    for (const auto* type : { "automation_frequency", "ondula_pan" })
    {
        limited.set (type, "curve", juce::String (shown));
        long_.set (type, "curve", juce::String (whole));
    }

    const auto a = limited.engine->currentSettings();
    const auto b = long_.engine->currentSettings();

    for (int t = 0; t < OndulaDelay::numTaps; ++t)
        for (int q = 0; q < OndulaDelay::numTapColumns; ++q)
            EXPECT_EQ (a.tapTable[t][q], b.tapTable[t][q]) << "tap " << t << " column " << q;

    EXPECT_EQ (long_.node ("ondula_pan")["curve"].toString().length(), (int) whole.size()) << "the stored text stays whole";
}

TEST (OndulaDelaySettings, PatternTextSwitchesTapsOn)
{
    struct Case { std::string pattern; std::vector<int> on; };
    const Case cases[] {
        { "1", { 0 } },
        { "01100110100110010101010110101010", { 1, 2, 5, 6, 8, 11, 12, 15, 17, 19, 21, 23, 24, 26, 28, 30 } },
        { "0000000000000000000000000000000111111111", { 31 } }, // characters past 32 are ignored
        { "", {} },
        { "1x1 1", { 0, 2, 4 } },
    };

    for (const auto& c : cases)
    {
        EngineTestRig rig;
        rig.set ("delay_pattern", "pattern_l", juce::String (c.pattern));
        const auto s = rig.engine->currentSettings();

        for (int t = 0; t < 32; ++t)
        {
            const bool expected = std::find (c.on.begin(), c.on.end(), t) != c.on.end();
            EXPECT_EQ (s.tapEnabled[t], expected) << "pattern \"" << c.pattern << "\" tap " << t;
        }
    }
}

TEST (OndulaDelaySettings, RightEnginePlaysRightPatternAfterConstruction)
{
    const auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    const std::string left = "01100110100110010101010110101010";
    const std::string right = "00011001011001101010101001010101";
    const auto l = processor->leftDelay.currentSettings();
    const auto r = processor->rightDelay.currentSettings();

    for (int t = 0; t < 32; ++t)
    {
        EXPECT_EQ (l.tapEnabled[t], left[(size_t) t] == '1') << t;
        EXPECT_EQ (r.tapEnabled[t], right[(size_t) t] == '1') << t;
    }
}

TEST (OndulaDelaySettings, OutOfRangeTreeValuesStayInsideTheTables)
{
    // A corrupt or hand-edited state: numbers far outside 0..1, text, huge modes.
    EngineTestRig rig;
    rig.set ("delay_globals_time", "time", 7.5);
    rig.set ("delay_globals_time", "time_mode", 1);
    rig.set ("delay_globals_time", "pattern_mode", 99);
    rig.set ("delay_globals_time", "feedback_amplitude", 1.0e9);
    rig.set ("delay_globals_time", "feedback_frequency", -4.0);
    rig.set ("delay_globals_ondula", "wavelength", 1.0e30);
    rig.set ("delay_globals_ondula", "velocity", -1.0e30);
    rig.set ("delay_globals_ondula", "amount", "lots");
    rig.set ("delay_globals_ondula", "time_mode", 2.0e12);
    rig.set ("automation_amplitude", "value", 40.0);
    rig.set ("automation_pan", "scale_y", -12.0);
    rig.set ("ondula_delay", "scale", 1.0e20);

    const auto s = rig.engine->currentSettings();
    EXPECT_GE (s.time, 0.0f); EXPECT_LE (s.time, 1.0f);
    EXPECT_GE (s.wavelength, 0.1f); EXPECT_LE (s.wavelength, 5.0001f);
    EXPECT_LE (s.feedbackAmplitude, 1.0f);
    EXPECT_EQ (s.ondulaScale[4], 1.0f);

    const float timeUnit = rig.mappings.time_unit_seconds (s.time);
    EXPECT_TRUE (std::isfinite (timeUnit) && timeUnit > 0.0f);

    processBlocks (rig, 20, 256);

    auto block = noiseBlock (256, 7);
    rig.process (block);

    for (float x : block)
        ASSERT_TRUE (std::isfinite (x));

    for (const auto& tap : rig.engine->tapStates)
    {
        EXPECT_GE (tap.delayOndula, 0);
        EXPECT_LE (tap.delayOndula, 6144000);
        EXPECT_TRUE (std::isfinite (tap.gain) && std::isfinite (tap.b0) && std::isfinite (tap.a1));
    }
}

//==================================================================================================
// Grid and delays

TEST (OndulaDelayGrid, BaseDelaysFollowTheGridAndTheTimeUnit)
{
    struct Case { bool triplet; int tap; double expected; };
    const Case cases[] {
        { false, 0, 0.0 }, { false, 1, 6000.0 }, { false, 31, 186000.0 },
        { true, 0, 0.0 }, { true, 1, 8000.0 }, { true, 3, 16000.0 }, { true, 31, 184000.0 },
    };

    for (const auto& c : cases)
    {
        // 120 bpm, synced time "1/8" (index 3): a time unit of 0.25 s.
        EngineTestRig rig;
        plainGrid (rig, "11111111111111111111111111111111");
        rig.set ("delay_globals_time", "time_mode", 1);
        rig.set ("delay_globals_time", "time", 0.4);
        rig.set ("delay_globals_time", "pattern_mode", c.triplet ? 1 : 0);
        processBlocks (rig, 1, 64);

        EXPECT_NEAR (rig.engine->tapStates[c.tap].delayBase, c.expected, 1.0) << (c.triplet ? "triplet " : "straight ") << c.tap;
        EXPECT_EQ (rig.engine->tapStates[c.tap].delayOndula, rig.engine->tapStates[c.tap].delayBase);
        EXPECT_EQ (rig.engine->feedbackState.delayOndula, 192000);
    }
}

TEST (OndulaDelayGrid, DelaysAreHeldAtTheLineLimit)
{
    // 4 s time unit ("2" at 120 bpm) at 192 kHz: feedback at 12,288,000 and tap 31 at 11,904,000.
    EngineTestRig rig (false, 192000.0, 512);
    plainGrid (rig, "11111111111111111111111111111111");
    rig.set ("delay_globals_time", "time_mode", 1);
    rig.set ("delay_globals_time", "time", 0.8);
    processBlocks (rig, 2, 512);

    EXPECT_EQ (rig.engine->feedbackState.delayOndula, 6144000);
    EXPECT_EQ (rig.engine->tapStates[31].delayBase, 6144000);
    EXPECT_EQ (rig.engine->tapStates[0].delayBase, 0);
}

TEST (OndulaDelayGrid, PanLawGivesTheKnownGains)
{
    struct Case { double pan; float left, right; };

    for (const auto& c : { Case { 0.0, 1.0f, 0.0f }, Case { 0.5, 0.5946036f, 0.5946036f }, Case { 1.0, 0.0f, 1.0f } })
        for (bool right : { false, true })
        {
            EngineTestRig rig (right);
            plainGrid (rig, "11");
            rig.set ("automation_pan", "value", c.pan);
            rig.set ("automation_amplitude", "value", 1.0);
            rig.set ("automation_amplitude", "scale_y", 0.0);
            processBlocks (rig, 1, 32);

            EXPECT_NEAR (rig.engine->tapStates[1].gain, right ? c.right : c.left, 1.0e-6f)
                << "pan " << c.pan << (right ? " right" : " left");
            EXPECT_EQ (rig.engine->tapStates[2].gain, 0.0f); // switched off: no gain whatever its amplitude
        }
}

//==================================================================================================
// Smoothing and start-up

TEST (OndulaDelaySmoothing, GainApproachesItsTargetByPiecesOfTheSameTimeWhateverTheBlocks)
{
    // A piece is 512 samples at 48 kHz and as long in time at every rate; the host's blocks do
    // not count.
    struct Case { double rate; int piece, blockSize; };

    for (const auto& c : { Case { 48000.0, 512, 16 }, Case { 48000.0, 512, 1000 }, Case { 96000.0, 1024, 300 },
                           Case { 44100.0, 470, 4096 } })
    {
        EngineTestRig rig (false, c.rate, c.blockSize);
        plainGrid (rig, "");
        rig.set ("automation_pan", "value", 0.0); // left engine: pan gain 1
        rig.set ("automation_amplitude", "value", 1.0);
        rig.set ("automation_amplitude", "scale_y", 0.0);
        processSamples (rig, c.piece, c.blockSize);
        ASSERT_EQ (rig.engine->tapStates[0].gain, 0.0f);

        rig.set ("delay_pattern", "pattern_l", "1");
        const std::pair<int, float> checkpoints[] { { 1, 0.05f }, { 14, 0.512f }, { 45, 0.901f } };
        int done = 0;

        for (const auto& [pieces, expected] : checkpoints)
        {
            processSamples (rig, (pieces - done) * c.piece, c.blockSize);
            done = pieces;
            EXPECT_NEAR (rig.engine->tapStates[0].gain, expected, 1.0e-3f)
                << pieces << " pieces at " << c.rate << " Hz in blocks of " << c.blockSize;
        }

        // The records move as a piece begins, and not again until the next one.
        processSamples (rig, 1, c.blockSize);
        const float afterOneSample = rig.engine->tapStates[0].gain;
        EXPECT_GT (afterOneSample, 0.905f);
        processSamples (rig, c.piece - 1, c.blockSize);
        EXPECT_EQ (rig.engine->tapStates[0].gain, afterOneSample);
    }
}

TEST (OndulaDelaySmoothing, SwitchedOffTapFallsSilentAtTheNextPieceAndItsGainDecays)
{
    EngineTestRig rig;
    plainGrid (rig, "1");
    rig.set ("automation_pan", "value", 0.0);
    rig.set ("automation_amplitude", "value", 1.0);
    rig.set ("automation_amplitude", "scale_y", 0.0);
    processBlocks (rig, 3, 512);
    processBlocks (rig, 5, 64);

    // Switched off 320 samples into a piece: the rest of the piece still sounds, the next one is
    // silent from its first sample.
    rig.set ("delay_pattern", "pattern_l", "");
    auto block = noiseBlock (512, 3);
    rig.process (block);

    for (int i = 0; i < 512; ++i)
        if (i < 192)
            ASSERT_NE (block[(size_t) i], 0.0f) << i;
        else
            ASSERT_EQ (block[(size_t) i], 0.0f) << i;

    EXPECT_NEAR (rig.engine->tapStates[0].gain, 0.95f, 1.0e-6f);
}

TEST (OndulaDelaySmoothing, FirstBlockStartsSettledWithoutABurst)
{
    // The default state has no feedback: after the first block the line must hold the input
    // alone, and every record must already sit at its target instead of ramping from the
    // constructor's placeholders (gain 1, all-ones coefficients, delay 0).
    EngineTestRig rig;
    rig.set ("delay_globals_time", "time_mode", 1);
    rig.set ("delay_globals_time", "time", 0.4); // time unit 0.25 s
    rig.set ("delay_globals_ondula", "amount", 0.0);

    const auto input = noiseBlock (512, 11, 1.0f);
    auto block = input;
    rig.process (block);

    for (int i = 0; i < 512; ++i)
        ASSERT_EQ (rig.engine->lineSampleRelativeToWrite (i - 512), input[(size_t) i]) << i;

    EXPECT_EQ (rig.engine->feedbackState.gain, 0.0f);
    EXPECT_EQ (rig.engine->tapStates[31].delayBase, 186000);

    float peak = 0.0f;
    float gains = 0.0f;

    for (const auto& tap : rig.engine->tapStates)
        gains += tap.enabled ? tap.gain : 0.0f;

    for (float x : block)
        peak = std::max (peak, std::abs (x));

    EXPECT_LE (peak, gains);
}

//==================================================================================================
// Signal paths

TEST (OndulaDelaySignal, EveryTapOffGivesSilenceWhileTheLineStillFills)
{
    EngineTestRig rig;
    rig.set ("delay_pattern", "pattern_l", "00000000000000000000000000000000");
    const auto input = noiseBlock (300, 5);
    auto block = input;
    rig.process (block);

    for (float x : block)
        ASSERT_EQ (x, 0.0f);

    for (int i = 0; i < 300; ++i)
        ASSERT_EQ (rig.engine->lineSampleRelativeToWrite (i - 300), input[(size_t) i]);
}

TEST (OndulaDelaySignal, ImpulseReturnsThroughTheFeedbackEverySixteenTimeUnits)
{
    // Free time 0: a 10 ms unit, so the feedback reads 7680 samples back at 48 kHz.
    EngineTestRig rig;
    plainGrid (rig, "");
    rig.set ("delay_globals_time", "time_mode", 0);
    rig.set ("delay_globals_time", "time", 0.0);
    rig.set ("delay_globals_time", "feedback_amplitude", 1.0);
    rig.set ("delay_globals_time", "feedback_frequency", 0.7);
    rig.set ("delay_globals_time", "feedback_width", 1.0);

    const int total = 3 * 7680 + 400;
    std::vector<float> line;
    auto block = silence (total);
    block[0] = 1.0f;
    rig.process (block);

    const int period = rig.engine->feedbackState.delayOndula;
    ASSERT_NEAR (period, 7680, 1);

    for (int i = 0; i < total; ++i)
        line.push_back (rig.engine->lineSampleRelativeToWrite (i - total));

    // Nothing comes back before the first return, which starts exactly on time.
    for (int i = 1; i < period; ++i)
        ASSERT_EQ (line[(size_t) i], 0.0f) << i;

    EXPECT_NE (line[(size_t) period], 0.0f);

    const auto energy = [&line] (int from, int to)
    {
        double e = 0.0;
        for (int i = from; i < to; ++i)
            e += (double) line[(size_t) i] * line[(size_t) i];
        return e;
    };

    // Each later return stands well above the tail of the one before it.
    for (int k : { 2, 3 })
        EXPECT_GT (energy (k * period, k * period + 200), 100.0 * energy (k * period - 200, k * period)) << "return " << k;
}

TEST (OndulaDelaySignal, NonFiniteInputEntersTheLineAsSilence)
{
    EngineTestRig poisoned, clean;

    for (int b = 0; b < 40; ++b)
    {
        auto a = noiseBlock (128, 100u + (unsigned) b, 0.5f);
        auto c = a;

        if (b == 2)
        {
            a[5] = std::numeric_limits<float>::quiet_NaN();
            a[6] = std::numeric_limits<float>::infinity();
            a[7] = -std::numeric_limits<float>::infinity();
            c[5] = c[6] = c[7] = 0.0f;
        }

        poisoned.process (a);
        clean.process (c);

        for (int i = 0; i < 128; ++i)
            ASSERT_EQ (a[(size_t) i], c[(size_t) i]) << "block " << b << " sample " << i;
    }
}

TEST (OndulaDelaySignal, HostBlocksLongerThanPreparedAreRenderedWhole)
{
    // Prepared for 64, handed 200: the same samples as the stream handed over in pieces of 64.
    EngineTestRig rig (false, 48000.0, 64);
    ScalarOndulaOracle oracle (rig.mappings, false, 48000.0f);

    for (int b = 0; b < 30; ++b)
    {
        auto block = noiseBlock (200, 50u + (unsigned) b, 0.8f);
        auto expected = block;
        const auto settings = rig.engine->currentSettings();

        for (int start = 0; start < 200; start += 64)
            oracle.process (expected.data() + start, std::min (64, 200 - start), settings);

        rig.process (block);

        for (int i = 0; i < 200; ++i)
            ASSERT_EQ (block[(size_t) i], expected[(size_t) i]) << "block " << b << " sample " << i;
    }
}

TEST (OndulaDelaySignal, EmptyBlockChangesNothing)
{
    EngineTestRig rig;
    processBlocks (rig, 2, 100);
    const auto positionBefore = rig.engine->timelinePosition();
    const auto delayBefore = rig.engine->tapStates[20].delayBase;
    const float lineBefore = rig.engine->lineSampleRelativeToWrite (-1);
    rig.set ("delay_globals_time", "time", 0.9);

    float nothing = 0.0f;
    rig.process (&nothing, 0);

    EXPECT_EQ (rig.engine->timelinePosition(), positionBefore);
    EXPECT_EQ (rig.engine->tapStates[20].delayBase, delayBefore);
    EXPECT_EQ (rig.engine->lineSampleRelativeToWrite (-1), lineBefore);
    EXPECT_EQ (rig.engine->timelinePosition(), 200);
}

TEST (OndulaDelaySignal, LowSampleRatesStayFinite)
{
    for (double rate : { 8000.0, 16000.0, 18000.0 })
    {
        EngineTestRig rig (false, rate, 256);
        rig.set ("delay_globals_time", "feedback_amplitude", 1.0);
        rig.set ("delay_globals_time", "feedback_frequency", 1.0);
        rig.set ("automation_frequency", "value", 1.0);
        rig.set ("delay_globals_time", "time", 0.0);

        for (int b = 0; b < 60; ++b)
        {
            auto block = noiseBlock (256, (unsigned) b, 1.0f);
            rig.process (block);

            for (float x : block)
                ASSERT_TRUE (std::isfinite (x)) << rate << " Hz, block " << b;
        }

        for (const auto& tap : rig.engine->tapStates)
            EXPECT_TRUE (std::isfinite (tap.b0) && std::isfinite (tap.a1) && std::isfinite (tap.a2)) << rate;
    }
}

//==================================================================================================
// Tempo

TEST (OndulaDelayTempo, SyncedOndulaRateFollowsTheTempoOfEveryBlock)
{
    // One engine reads its rate node at 120 bpm and then hears the tempo change; the other reads
    // it at the new tempo. Both must sound the same from then on.
    EngineTestRig changed, fresh;

    for (auto* rig : { &changed, &fresh })
    {
        rig->set ("delay_globals_ondula", "time_mode", 1);
        rig->set ("delay_globals_ondula", "velocity", 0.95); // 4 cycles per beat
        rig->set ("delay_globals_ondula", "amount", 1.0);
    }

    changed.mappings.secondsPerBeat = 0.3f;
    fresh.mappings.secondsPerBeat = 0.3f;
    fresh.engine->setValueTree (fresh.tree);

    for (int b = 0; b < 50; ++b)
    {
        auto a = noiseBlock (128, (unsigned) b);
        auto c = a;
        changed.process (a);
        fresh.process (c);
        ASSERT_EQ (a, c) << "block " << b;
    }
}

TEST (OndulaDelayTempo, TimelinePositionCountsTheSamplesSinceTheLastMove)
{
    EngineTestRig rig (false, 44100.0, 512);
    rig.engine->moveToTimeline (551250); // 12.5 s
    processBlocks (rig, 3, 441);
    EXPECT_EQ (rig.engine->timelinePosition(), 551250 + 1323);
    EXPECT_EQ (rig.engine->hostTime.load(), 12.5);
    EXPECT_EQ (rig.engine->clock.load(), 1323.0 / 44100.0);

    // Moved again (as the processor does when the host relocates), it counts on from there.
    rig.engine->moveToTimeline (-300);
    processBlocks (rig, 2, 100);
    EXPECT_EQ (rig.engine->timelinePosition(), -100);
    EXPECT_EQ (rig.engine->samplesToNextPiece(), 100);
}

//==================================================================================================
// Moves on the timeline

TEST (OndulaDelayTimeline, AMoveGivesTheSameRecordsWhetherItsWarmUpIsWorkedOutOrTakenAgain)
{
    // A pair that has moved before (a loop, a scrub) against a fresh pair moved straight to the
    // last place: every record of both engines must agree. The warm-up is taken again only when
    // its inputs are the same: the same piece and the same settings.
    struct Case { const char* name; std::vector<long long> moves; bool changeBeforeLast; int reused; };
    const Case cases[] {
        { "a loop back to the same place", { 480100, 480100 }, false, 1 },
        { "a scrub back and forth", { 480100, 470000, 480100, 470000 }, false, 2 },
        { "another sample of the same piece", { 480100, 479800 }, false, 1 },
        { "the same place before 0", { -172800000, 5, -172800000 }, false, 1 },
        { "the same place after a setting changed", { 480100, 480100 }, true, 0 },
    };

    const auto modulate = [] (StereoEngineRig& rig)
    {
        rig.set ("delay_pattern", "pattern_l", "11111111111111111111111111111111");
        rig.set ("delay_pattern", "pattern_r", "10110111011110111110111111011111");
        rig.set ("delay_globals_ondula", "amount", 1.0);
        rig.set ("delay_globals_ondula", "velocity", 0.8);
        rig.set ("ondula_pan", "phase", 0.25);
        rig.set ("ondula_delay", "curve", "0 1 0\n");
    };

    for (const auto& c : cases)
    {
        StereoEngineRig moved, fresh;
        modulate (moved);
        modulate (fresh);

        if (c.changeBeforeLast)
            fresh.set ("delay_globals_ondula", "phase", 0.4);

        for (size_t m = 0; m < c.moves.size(); ++m)
        {
            if (c.changeBeforeLast && m + 1 == c.moves.size())
                moved.set ("delay_globals_ondula", "phase", 0.4);

            moved.left->moveToTimeline (c.moves[m]);
            moved.right->moveToTimeline (c.moves[m]);
            auto left = noiseBlock (64, 1u + (unsigned) m), right = noiseBlock (64, 2u + (unsigned) m);
            moved.process (left, right);
        }

        fresh.left->moveToTimeline (c.moves.back());
        fresh.right->moveToTimeline (c.moves.back());
        auto left = noiseBlock (64, 9u), right = noiseBlock (64, 10u);
        fresh.process (left, right);

        for (const auto* pair : { &moved, &fresh })
            for (const auto* engine : { pair->left.get(), pair->right.get() })
                EXPECT_EQ (engine->warmUpsReusedForTesting(), pair == &moved ? c.reused : 0) << c.name;

        for (const auto& [a, b] : { std::make_pair (moved.left.get(), fresh.left.get()), std::make_pair (moved.right.get(), fresh.right.get()) })
            for (int t = 0; t < 32; ++t)
            {
                const auto& x = a->tapStates[t];
                const auto& y = b->tapStates[t];
                const bool same = x.delayOndula == y.delayOndula && x.delayBase == y.delayBase && x.gain == y.gain
                               && x.frequency == y.frequency && x.bandwidth == y.bandwidth && x.amplitude == y.amplitude
                               && x.pan == y.pan && x.b0 == y.b0 && x.a1 == y.a1 && x.a2 == y.a2 && x.enabled == y.enabled;
                EXPECT_TRUE (same) << c.name << ", " << (a == moved.left.get() ? "left" : "right") << " tap " << t;
            }
    }
}
} // namespace
