// The processor as a DAW calls it: idle calls while stopped, an export's split pre-roll, relocations,
// a stopped transport with live input, and parameter points inside blocks. A position of the
// timeline must sound the same whatever came before it, and a host's point must land where the
// host put it, whatever the message thread does.

#include "support/DawCallPattern.h"
#include "support/MessagePump.h"
#include "support/SoundComparison.h"

#include "engine/HostValueEcho.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Daw = DawCallPattern;

struct ExportCase
{
    double rate;
    int buffer;
    int idleCalls;
};

/** An export as Ardour runs it: idle calls while stopped, reporting buffer / 4 + 16; then the
    first cycle split into a silent pre-roll and the region's first samples, both reported at the
    range start; then whole buffers. */
std::vector<float> exportOf (const ExportCase& c, bool strong, double regionSeconds)
{
    DawCallPattern host (c.rate, c.buffer);

    if (strong)
        Daw::strongModulation (host.processor());

    host.source = DawCallPattern::noiseThenSilence (c.rate, 0.3, 1.2);
    host.regionStart = (juce::int64) (regionSeconds * c.rate);
    const int stoppedAt = c.buffer / 4 + 16;
    host.idle (c.idleCalls, c.buffer, stoppedAt);

    if (c.buffer > stoppedAt)
    {
        host.preroll (c.buffer - stoppedAt, host.regionStart);
        host.play (host.regionStart, host.source.getNumSamples(), { stoppedAt, c.buffer }, true);
    }
    else
    {
        host.play (host.regionStart, host.source.getNumSamples(), { c.buffer });
    }

    return host.interleavedRecording();
}

/** Every export of the group against the first: default settings and strong modulation, the
    region at the timeline's start and at 2 s. */
void expectEqualExports (const std::vector<ExportCase>& cases)
{
    for (const bool strong : { false, true })
        for (const double region : { 0.0, 2.0 })
        {
            const auto reference = exportOf (cases[0], strong, region);

            for (size_t k = 1; k < cases.size(); ++k)
            {
                const auto other = exportOf (cases[k], strong, region);
                ASSERT_EQ (other.size(), reference.size());
                EXPECT_LE (SoundComparison::residualDb (other, reference), -100.0)
                    << cases[k].rate << " Hz, buffer " << cases[k].buffer << " after " << cases[k].idleCalls
                    << " idle calls, against buffer " << cases[0].buffer << (strong ? ", strong modulation" : ", defaults")
                    << ", region at " << region << " s";
            }
        }
}
} // namespace

TEST (PluginProcessorTimeline, AnExportAt48kHzIsTheSameAtEveryBufferSize)
{
    expectEqualExports ({ { 48000.0, 1024, 40 }, { 48000.0, 64, 301 }, { 48000.0, 8192, 7 } });
}

TEST (PluginProcessorTimeline, AnExportAt96kHzIsTheSameWhateverTheIdleCallsBeforeIt)
{
    // Four blocks of 256 make a piece at 96 kHz: idle counts that differ modulo 4 used to leave
    // the pieces, and the sound, in four different places.
    expectEqualExports ({ { 96000.0, 256, 1127 }, { 96000.0, 256, 1130 }, { 96000.0, 256, 1129 }, { 96000.0, 4096, 20 } });
}

TEST (PluginProcessorTimeline, WithTheTransportStoppedTheWaveTravelsAsInPlayback)
{
    // Live input while stopped, the host reporting the same position at every call (as Ardour
    // does): the same samples at every buffer size, with no position at all, and as playback of
    // the same stream from the timeline's start, where the wave runs on its own.
    const double rate = 48000.0;
    juce::AudioBuffer<float> sine (2, 48000);

    for (int i = 0; i < sine.getNumSamples(); ++i)
        for (int c = 0; c < 2; ++c)
            sine.setSample (c, i, 0.5f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 220.0 * i / rate));

    const auto render = [&] (const std::function<void (DawCallPattern&)>& drive)
    {
        DawCallPattern host (rate, 4096);
        Daw::strongModulation (host.processor());
        host.source = sine;
        drive (host);
        return host.interleavedRecording();
    };

    const auto played = render ([&] (DawCallPattern& h) { h.play (0, sine.getNumSamples(), { 512 }); });

    for (const int buffer : { 256, 1024, 4096 })
    {
        const auto stopped = render ([&] (DawCallPattern& h) { h.stopped (sine.getNumSamples(), { buffer }, buffer / 4 + 16); });
        EXPECT_LE (SoundComparison::residualDb (stopped, played), -100.0) << "stopped, buffer " << buffer;
    }

    const auto noPosition = render ([&] (DawCallPattern& h) { h.stopped (sine.getNumSamples(), { 333, 100 }, 0, false); });
    EXPECT_LE (SoundComparison::residualDb (noPosition, played), -100.0) << "no position";
}

TEST (PluginProcessorTimeline, APositionReachedByARelocationSoundsAsPlaybackStartedThere)
{
    // Playback of silence from 0, a loop back to 0.25 s, a jump to the region at 3 s; against a
    // host that idled and started right at the region. Also a 1-sample wobble of the reported
    // position, which must not count as a move.
    const double rate = 48000.0;
    const auto region = DawCallPattern::noiseThenSilence (rate, 0.2, 0.8);

    const auto render = [&] (const std::function<void (DawCallPattern&)>& drive)
    {
        DawCallPattern host (rate, 512);
        Daw::strongModulation (host.processor());
        host.source = region;
        host.regionStart = 144000;
        drive (host);
        return std::vector<float> (host.recording[0].end() - region.getNumSamples(), host.recording[0].end());
    };

    const auto direct = render ([] (DawCallPattern& h) { h.idle (100, 512, 0); h.play (144000, 38400, { 512 }); });
    const auto jumped = render ([] (DawCallPattern& h)
                                {
                                    h.play (0, 30000, { 500 });
                                    h.play (12000, 20000, { 500 });
                                    h.play (144000, 38400, { 300 });
                                });
    EXPECT_LE (SoundComparison::residualDb (jumped, direct), -100.0);

    const auto wobbled = render ([] (DawCallPattern& h)
                                 {
                                     h.idle (100, 512, 0);
                                     h.play (144000, 1000, { 500 });
                                     h.play (144000 + 1001, 37400, { 500 }); // reported one sample late
                                 });
    const std::vector<float> early (direct.begin(), direct.begin() + 1000), wobbledEarly (wobbled.begin(), wobbled.begin() + 1000);
    EXPECT_LE (SoundComparison::residualDb (wobbledEarly, early), -100.0);
    EXPECT_GT (SoundComparison::residualDb (wobbled, direct), -60.0) << "the last 37400 samples are one sample late, not re-timed";
}

TEST (PluginProcessorTimeline, AHostPointTakesEffectAtTheFirstControlPieceAtOrAfterIt)
{
    // Pieces start every 512 samples of the timeline at 48 kHz. A point at 1000 plays exactly as
    // one at 1024, at any buffer size; one at 1025 does not.
    const auto render = [] (juce::int64 at, int buffer)
    {
        DawCallPattern host (48000.0, 4096);
        host.source = DawCallPattern::noiseThenSilence (48000.0, 0.1, 0.2);
        host.point ("delay_globals_dynamics_wet", at, 0.9f);
        host.play (0, host.source.getNumSamples(), { buffer });
        return host.interleavedRecording();
    };

    const auto reference = render (1024, 64);
    EXPECT_LE (SoundComparison::residualDb (render (1000, 64), reference), -100.0);
    EXPECT_LE (SoundComparison::residualDb (render (1000, 4096), reference), -100.0);
    EXPECT_LE (SoundComparison::residualDb (render (600, 333), reference), -100.0);
    EXPECT_GT (SoundComparison::residualDb (render (1025, 64), reference), -100.0);
}

TEST (PluginProcessorTimeline, AutomationPlaysTheSameOnEveryRunWhateverTheMessageThreadDoes)
{
    // Ramps of the Ondula amount and of wet, rendered on an audio thread of their own: once while
    // the message thread writes every host value back into the tree as it comes, once while it
    // does nothing at all. The host's values reach the sound on the audio thread either way.
    const double rate = 48000.0;

    const auto render = [&] (bool serveMessages)
    {
        auto host = std::make_unique<DawCallPattern> (rate, 4096);
        host->source = DawCallPattern::noiseThenSilence (rate, 0.5, 2.0);

        for (int k = 0; k <= 40; ++k)
        {
            host->point ("delay_globals_ondula_amount", 24000 + k * 1700, (float) k / 40.0f);
            host->point ("delay_globals_dynamics_wet", 24000 + k * 1700 + 77, (float) k / 40.0f);
            host->point ("delay_globals_dynamics_compressor_threshold", 24000 + k * 1700 + 300, 1.0f - (float) k / 80.0f);
        }

        std::atomic<bool> done { false };
        std::thread audio ([&] { host->play (0, host->source.getNumSamples(), { 4096 }); done = true; });

        while (! done)
            if (serveMessages)
                MessagePump::run (1);
            else
                std::this_thread::sleep_for (std::chrono::milliseconds (1));

        audio.join();
        host->serveMessageThread (20);
        const auto out = host->interleavedRecording();

        // Afterwards the tree holds what the host sent last.
        EXPECT_EQ ((double) Daw::nodeOf (host->processor(), "delay", "delay_globals_ondula").getProperty ("amount"), 1.0);
        return out;
    };

    const auto served = render (true);
    EXPECT_LE (SoundComparison::residualDb (render (false), served), -100.0);
    EXPECT_LE (SoundComparison::residualDb (render (true), served), -100.0);
}

TEST (PluginProcessorTimeline, APointThatDoesNotMoveItsParameterLeavesATreeOnlyValuePlaying)
{
    // The tree's negative frequency amount has no parameter value (the parameter stands at its
    // bound, 0). A host that keeps sending that bound, while it automates something else, must
    // not put 0 in its place.
    const auto render = [] (bool sendBound)
    {
        DawCallPattern host (48000.0, 1024);
        Daw::nodeOf (host.processor(), "automation", "automation_frequency").setProperty ("scale_y", -0.5, nullptr);
        host.source = DawCallPattern::noiseThenSilence (48000.0, 0.2, 0.6);

        for (int k = 0; k < 20; ++k)
        {
            host.point ("delay_globals_ondula_phase", k * 1400, (float) k / 20.0f);

            if (sendBound)
                host.point ("automation_frequency_amount", k * 1400, 0.0f);
        }

        host.play (0, host.source.getNumSamples(), { 1024 });
        host.serveMessageThread (20);
        EXPECT_EQ ((double) Daw::nodeOf (host.processor(), "automation", "automation_frequency").getProperty ("scale_y"), -0.5);
        return host.interleavedRecording();
    };

    EXPECT_LE (SoundComparison::residualDb (render (true), render (false)), -100.0);
}

TEST (PluginProcessorTimeline, TheLastOfAHostValueAndATreeEditWinsAndTheTreesEchoChangesNothing)
{
    DawCallPattern host (48000.0, 512);
    auto& p = host.processor();
    auto globals = Daw::nodeOf (p, "delay", "delay_globals_ondula");
    host.source = DawCallPattern::noiseThenSilence (48000.0, 0.1, 0.1);
    const auto played = [&p] { return p.leftDelay.playedSettings().amount; };

    const auto hostReads = [&host] { return host.parameter ("delay_globals_ondula_amount").getValue(); };

    host.point ("delay_globals_ondula_amount", 0, 0.25f);
    host.play (0, 512, { 512 });
    EXPECT_EQ (played(), 0.25f) << "the host's value";
    EXPECT_EQ (hostReads(), 0.25f);

    globals.setProperty ("amount", 0.75, nullptr); // an edit in the editor
    host.play (512, 512, { 512 });
    EXPECT_EQ (played(), 0.75f) << "the editor's later edit";
    EXPECT_EQ (hostReads(), 0.75f);

    host.point ("delay_globals_ondula_amount", 1024, 0.5f);
    host.play (1024, 512, { 512 });
    EXPECT_EQ (played(), 0.5f) << "the host's later value";
    EXPECT_EQ (hostReads(), 0.5f);

    {
        // The attachment's write-back of an older host value, arriving late.
        const HostValueEcho::Scope echo;
        globals.setProperty ("amount", 0.25, nullptr);
    }

    host.play (1536, 512, { 512 });
    EXPECT_EQ (played(), 0.5f) << "an echo is no edit";
    EXPECT_EQ (hostReads(), 0.5f);
}

