// The bundle driven with a DAW's own calls (the test host's play command): the sound at a timeline
// position does not depend on what the host did before (its buffer size, how long it idled, a
// pre-roll, where playback started, a jump), and the wave travels with the transport stopped.

#include "HostRunner.h"
#include "support/SoundComparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

namespace
{
using std::to_string;

const std::string strongModulation = HostRunner::strongModulation();

/** Ardour's export of `samples` from the range start at a buffer size: idle calls while stopped,
    each reporting the playhead at buffer/4 + 16; the first cycle split into a silent pre-roll and
    the first region samples, both reported at the range start; then whole buffers. */
std::string ardourExport (int buffer, int idleCalls, long long rangeStart, long long samples)
{
    const int x = buffer / 4 + 16;
    return "idle " + to_string (idleCalls) + " " + to_string (buffer) + " " + to_string (x) + "\n"
         + "preroll " + to_string (buffer - x) + " " + to_string (rangeStart) + "\n"
         + "play " + to_string (rangeStart) + " " + to_string (samples) + " " + to_string (x) + "," + to_string (buffer) + "...\n";
}

std::string printedDb (double db)
{
    return std::isinf (db) ? (db < 0 ? "-inf" : "+inf") : to_string (db);
}

/** Checks a render against the reference of its group and prints the figures. */
void expectEqualRenders (const HostRunner::Result& render, const HostRunner::Result& reference, const std::string& label,
                         int rate)
{
    ASSERT_EQ (render.exitCode, 0) << label << "\n" << render.output;
    ASSERT_EQ (render["nonfinite"], "0") << label;
    ASSERT_EQ (render.samples.size(), reference.samples.size()) << label;

    const auto residual = SoundComparison::residualDb (render.samples, reference.samples);
    const auto window = SoundComparison::worstWindowDb (render.samples, reference.samples, 2, rate);
    std::cout << label << ": residual " << printedDb (residual) << " dB, worst 0.5 s window " << window << " dB\n";
    EXPECT_LE (residual, -100.0) << label << " (worst 0.5 s window " << window << " dB apart)";
}

struct Export
{
    int buffer, idleCalls;
};

struct ExportGroup
{
    const char* name;
    int rate;
    bool strong;
    double regionSeconds;
    std::vector<Export> exports;
};

// At 48 kHz the buffers at which exports were heard to differ, each after about a second of
// idling; at 96 kHz four idle counts in a row (Ardour's varies by a few from run to run, and four
// 256-sample buffers make one control piece), two to a group so that no group runs long, each
// against the same export at a long buffer.
const std::vector<Export> at48k { { 1024, 37 }, { 64, 443 }, { 8192, 5 } };
const std::vector<Export> at96kFirst { { 4096, 24 }, { 256, 1127 }, { 256, 1128 } };
const std::vector<Export> at96kThen { { 4096, 24 }, { 256, 1129 }, { 256, 1130 } };

void PrintTo (const ExportGroup& group, std::ostream* out) { *out << group.name; }

class ExportsThroughTheHost : public ::testing::TestWithParam<ExportGroup> {};
} // namespace

TEST_P (ExportsThroughTheHost, AnExportGivesTheSameSamplesAtEveryBufferSizeAfterAnyIdling)
{
    const auto& group = GetParam();
    const auto rangeStart = (long long) std::llround (group.regionSeconds * group.rate);
    const auto length = (long long) group.rate * 3 / 2; // 1 s of noise, then 0.5 s of its echoes
    const auto arguments = "--rate " + to_string (group.rate) + " --signal noise --seconds 1 --region-at " + to_string (rangeStart)
                         + (group.strong ? strongModulation : std::string (" "));
    HostRunner::Result reference;

    for (const auto& e : group.exports)
    {
        const auto label = std::string (group.name) + ", buffer " + to_string (e.buffer) + " after " + to_string (e.idleCalls) + " idle calls";
        auto render = HostRunner::play ("export", ardourExport (e.buffer, e.idleCalls, rangeStart, length), arguments);

        if (reference.samples.empty())
        {
            ASSERT_EQ (render.exitCode, 0) << label << "\n" << render.output;
            ASSERT_EQ (render.samples.size(), (size_t) length * 2) << label;
            reference = std::move (render);
            continue;
        }

        expectEqualRenders (render, reference, label, group.rate);
    }
}

INSTANTIATE_TEST_SUITE_P (
    Groups, ExportsThroughTheHost,
    ::testing::Values (ExportGroup { "Default48kHzRegionAtStart", 48000, false, 0.0, at48k },
                       ExportGroup { "Default48kHzRegionAt2s", 48000, false, 2.0, at48k },
                       ExportGroup { "StrongModulation48kHzRegionAtStart", 48000, true, 0.0, at48k },
                       ExportGroup { "StrongModulation48kHzRegionAt2s", 48000, true, 2.0, at48k },
                       ExportGroup { "Default96kHzRegionAtStartIdling1127Or1128Calls", 96000, false, 0.0, at96kFirst },
                       ExportGroup { "Default96kHzRegionAtStartIdling1129Or1130Calls", 96000, false, 0.0, at96kThen },
                       ExportGroup { "Default96kHzRegionAt2sIdling1127Or1128Calls", 96000, false, 2.0, at96kFirst },
                       ExportGroup { "Default96kHzRegionAt2sIdling1129Or1130Calls", 96000, false, 2.0, at96kThen },
                       ExportGroup { "StrongModulation96kHzRegionAtStartIdling1127Or1128Calls", 96000, true, 0.0, at96kFirst },
                       ExportGroup { "StrongModulation96kHzRegionAtStartIdling1129Or1130Calls", 96000, true, 0.0, at96kThen },
                       ExportGroup { "StrongModulation96kHzRegionAt2sIdling1127Or1128Calls", 96000, true, 2.0, at96kFirst },
                       ExportGroup { "StrongModulation96kHzRegionAt2sIdling1129Or1130Calls", 96000, true, 2.0, at96kThen }),
    [] (const ::testing::TestParamInfo<ExportGroup>& info) { return std::string (info.param.name); });

TEST (TimelineThroughTheHost, LiveInputWithTheTransportStoppedSoundsAsWithoutAPositionAtEveryBufferSize)
{
    // A stopped host reports the same position at every call; the wave must travel on as it does
    // when the host reports no position at all, not restart at every buffer.
    constexpr int rate = 48000;
    std::vector<float> sine ((size_t) rate * 2 * 2);

    for (size_t i = 0; i < sine.size() / 2; ++i)
        sine[2 * i] = sine[2 * i + 1] = 0.5f * (float) std::sin (6.283185307179586 * 220.0 * (double) i / rate);

    const auto input = HostRunner::scratch ("sine220.wav");
    HostRunner::writeWavSamples (input, sine, 2, rate);
    const auto arguments = "--in '" + input + "'" + strongModulation;

    const auto reference = HostRunner::play ("no-position", "noposition " + to_string (rate * 2) + " 1024", arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;
    ASSERT_EQ (reference.samples.size(), sine.size());

    for (const int buffer : { 256, 1024, 4096 })
    {
        const auto steps = "stopped " + to_string (rate * 2) + " " + to_string (buffer) + " " + to_string (buffer / 4 + 16);
        expectEqualRenders (HostRunner::play ("stopped", steps, arguments), reference,
                            "transport stopped, buffer " + to_string (buffer), rate);
    }
}

TEST (TimelineThroughTheHost, AfterARelocationOrALoopATimelinePositionSoundsAsWhenPlaybackStartedThere)
{
    // The input is silent before the jump in both renders, so the delay lines hold the same; only
    // the clock, the control grid and the smoothed records could carry the first render's past.
    constexpr int rate = 48000;

    struct Case
    {
        const char* name;
        long long regionAt, compared;
        std::string withJump, fresh;
    };

    const Case cases[] = {
        { "a relocation forward", 150000, 72000,
          ardourExport (1024, 37, 0, 50000) + "play 150000 72000 1024",
          ardourExport (1024, 37, 150000, 72000) },
        // Back to 0: a reported time of 0 is a position like any other.
        { "a loop back to the start", 60000, 132000,
          ardourExport (1024, 37, 0, 50000) + "play 0 132000 1024",
          ardourExport (1024, 37, 0, 132000) },
    };

    for (const auto& c : cases)
    {
        const auto arguments = "--signal noise --seconds 1 --region-at " + to_string (c.regionAt) + strongModulation;
        const auto fresh = HostRunner::play ("fresh", c.fresh, arguments);
        auto jumped = HostRunner::play ("jumped", c.withJump, arguments);
        ASSERT_EQ (fresh.exitCode, 0) << c.name << "\n" << fresh.output;
        ASSERT_EQ (fresh.samples.size(), (size_t) c.compared * 2) << c.name;

        jumped.samples = SoundComparison::tail (jumped.samples, (size_t) c.compared * 2);
        expectEqualRenders (jumped, fresh, std::string ("after ") + c.name, rate);
    }
}
