// Host values against the tree's own: dense lines, values only the tree can hold, and state loads.
// The last word plays, and the host, the tree, the saved state and the sound agree, whenever the
// message thread runs.

#include "support/DawCallPattern.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
const auto nodeOf = DawCallPattern::nodeOf;

/** Runs `calls` on a thread of its own, as a host's audio thread: parameter changes made there
    reach the tree only when the message thread runs. */
void onAudioThread (const std::function<void()>& calls)
{
    std::thread audio (calls);
    audio.join();
}

/** A host parameter, the tree property behind it and the value that plays. */
struct Setting
{
    const char* id;
    const char* group;
    const char* node;
    const char* property;
    std::function<float (OndulaDelayAudioProcessor&)> played;
};

const Setting wet { "delay_globals_dynamics_wet", "delay", "delay_globals_dynamics", "wet",
                    [] (OndulaDelayAudioProcessor& p) { return p.dryWetMixer.pendingWetProportion.playedNow(); } };
const Setting amount { "delay_globals_ondula_amount", "delay", "delay_globals_ondula", "amount",
                       [] (OndulaDelayAudioProcessor& p) { return p.leftDelay.playedHostSetting (OndulaDelay::globalAmount); } };
const Setting frequencyAmount { "automation_frequency_amount", "automation", "automation_frequency", "scale_y",
                                [] (OndulaDelayAudioProcessor& p) { return p.leftDelay.playedHostSetting (OndulaDelay::automationScale); } };

float treeValue (OndulaDelayAudioProcessor& p, const Setting& s)
{
    return (float) (double) nodeOf (p, s.group, s.node).getProperty (s.property);
}

/** Saves the processor's state and opens it in a fresh processor, as a reopened project. */
std::unique_ptr<OndulaDelayAudioProcessor> saveAndReopen (OndulaDelayAudioProcessor& p)
{
    juce::MemoryBlock state;
    p.getStateInformation (state);
    auto reopened = std::make_unique<OndulaDelayAudioProcessor>();
    reopened->setStateInformation (state.getData(), (int) state.getSize());
    return reopened;
}
} // namespace

TEST (PluginProcessorHostValues, ADenseLinePlaysExactlyAsTheSameLineSentAsOnePointPerPiece)
{
    // Sine lines on four settings the engines, the compressors and the dry/wet stage take, with a
    // point every 1, 8 or 32 samples, against the same lines with one point at each control piece
    // (every 512 samples at 48 kHz): the pieces take the same values, so the sound is the same.
    const char* automated[] = { "delay_globals_dynamics_wet", "delay_globals_ondula_amount",
                                "delay_globals_dynamics_compressor_threshold", "automation_frequency_value" };
    constexpr int length = 3 * 4096 + 1000;

    const auto render = [&] (int every, std::vector<int> blocks)
    {
        DawCallPattern host (48000.0, 4096);
        host.source = DawCallPattern::noiseThenSilence (48000.0, 0.1, (double) length / 48000.0);

        for (int k = 0; k < 4; ++k)
            for (int at = 0; at < length; at += every)
                host.point (automated[k], at, (float) (0.5 + 0.45 * std::sin (0.0007 * (k + 1) * at + k)));

        host.play (0, length, blocks);
        return host.interleavedRecording();
    };

    const auto onePerPiece = render (512, { 4096 });

    struct Case
    {
        int every;
        std::vector<int> blocks;
    };

    for (const auto& c : { Case { 1, { 4096 } }, Case { 8, { 4096 } }, Case { 32, { 4096 } }, Case { 8, { 333 } } })
    {
        const auto dense = render (c.every, c.blocks);
        ASSERT_EQ (dense.size(), onePerPiece.size());
        EXPECT_TRUE (dense == onePerPiece) << "a point every " << c.every << " samples, blocks of " << c.blocks[0];
    }
}

TEST (PluginProcessorHostValues, TheTreeEndsAtTheHostsLastValueWhateverTheMessageThreadDoes)
{
    // A value only the tree can hold (a negative amount: its parameter stands at 0), then the host
    // sends 0.3 and, in the next call, 0. And a plain wet level sent by the host. Whether or not
    // the message thread runs between the calls, and whether the state is saved before or after
    // it runs, the tree, the saved state and the reopened project hold what plays.
    struct Case
    {
        const Setting* setting;
        double treeValue;
        float first, last;
    };

    const Case cases[] = { { &frequencyAmount, -0.5, 0.3f, 0.0f }, { &wet, 0.5, 0.8f, 0.25f } };

    for (const auto& c : cases)
        for (const bool messagesBetween : { false, true })
            for (const bool saveBeforeMessages : { false, true })
            {
                const auto label = std::string (c.setting->id) + (messagesBetween ? ", messages between the calls" : "")
                                 + (saveBeforeMessages ? ", saved before the message thread runs" : "");
                DawCallPattern host (48000.0, 512);
                auto& p = host.processor();
                nodeOf (p, c.setting->group, c.setting->node).setProperty (c.setting->property, c.treeValue, nullptr);
                host.point (c.setting->id, 0, c.first);
                host.point (c.setting->id, 512, c.last);

                onAudioThread ([&] { host.play (0, 512, { 512 }); });

                if (messagesBetween)
                    host.serveMessageThread (10);

                onAudioThread ([&] { host.play (512, 512, { 512 }); });
                ASSERT_FLOAT_EQ (c.setting->played (p), c.last) << label;

                std::unique_ptr<OndulaDelayAudioProcessor> reopened;

                if (saveBeforeMessages)
                    reopened = saveAndReopen (p);

                host.serveMessageThread (10);
                EXPECT_FLOAT_EQ (treeValue (p, *c.setting), c.last) << label;
                EXPECT_FLOAT_EQ (c.setting->played (p), c.last) << label;

                if (reopened == nullptr)
                    reopened = saveAndReopen (p);

                EXPECT_FLOAT_EQ (treeValue (*reopened, *c.setting), c.last) << label << ", reopened";
                EXPECT_FLOAT_EQ (c.setting->played (*reopened), c.last) << label << ", reopened";
            }
}

TEST (PluginProcessorHostValues, AStateLoadPlaysWhateverTheHostSentBeforeIt)
{
    // Something the host sent before a project or preset is opened, then the load: from then on the
    // loaded value plays, the parameter and the tree show it, and saving and reopening keeps it;
    // a host value sent after the load plays in its turn.
    struct Case
    {
        const char* name;
        const Setting* setting;
        float loaded;
        std::function<void (DawCallPattern&)> before;
    };

    const auto playOneCall = [] (DawCallPattern& host) { onAudioThread ([&] { host.play (512, 512, { 512 }); }); };

    const Case cases[] = {
        { "an edit through the controller while inactive", &wet, 0.0f,
          [] (DawCallPattern& host) { onAudioThread ([&] { host.controllerEdit (wet.id, 1.0f); }); } },
        { "an edit of the Ondula amount through the controller", &amount, 0.2f,
          [] (DawCallPattern& host) { onAudioThread ([&] { host.controllerEdit (amount.id, 0.9f); }); } },
        { "a line's end owed to the next call", &wet, 0.0f,
          [&] (DawCallPattern& host) { host.point (wet.id, 512 + 300, 1.0f); playOneCall (host); } },
        { "a standing host value, and a load of the value the tree held", &wet, 0.5f,
          [&] (DawCallPattern& host) { host.point (wet.id, 512, 1.0f); playOneCall (host); } },
        { "a standing Ondula amount, and a load of the value the tree held", &amount, 0.5f,
          [&] (DawCallPattern& host) { host.point (amount.id, 512, 0.0f); playOneCall (host); } },
    };

    for (const auto& c : cases)
        for (const bool messagesBeforeLoad : { false, true })
        {
            const auto label = std::string (c.name) + (messagesBeforeLoad ? ", the message thread ran before the load" : "");
            const auto& s = *c.setting;

            juce::MemoryBlock state;
            {
                // On the heap: a processor carries two long delay lines.
                const auto saved = std::make_unique<OndulaDelayAudioProcessor>();
                nodeOf (*saved, s.group, s.node).setProperty (s.property, (double) c.loaded, nullptr);
                saved->getStateInformation (state);
            }

            DawCallPattern host (48000.0, 512);
            auto& p = host.processor();
            nodeOf (p, s.group, s.node).setProperty (s.property, 0.5, nullptr);
            onAudioThread ([&] { host.play (0, 512, { 512 }); });

            c.before (host);

            if (messagesBeforeLoad)
                host.serveMessageThread (10);

            p.setStateInformation (state.getData(), (int) state.getSize());
            onAudioThread ([&] { host.play (1024, 1024, { 512 }); });

            for (const bool afterMessages : { false, true })
            {
                if (afterMessages)
                    host.serveMessageThread (10);

                const auto when = label + (afterMessages ? ", after the message thread ran" : "");
                EXPECT_FLOAT_EQ (s.played (p), c.loaded) << when;
                EXPECT_FLOAT_EQ (treeValue (p, s), c.loaded) << when;
                EXPECT_FLOAT_EQ (host.parameter (s.id).convertFrom0to1 (host.parameter (s.id).getValue()), c.loaded) << when;
            }

            EXPECT_FLOAT_EQ (s.played (*saveAndReopen (p)), c.loaded) << label << ", reopened";

            onAudioThread ([&] { host.controllerEdit (s.id, 0.75f); });
            onAudioThread ([&] { host.play (2048, 512, { 512 }); });
            EXPECT_FLOAT_EQ (s.played (p), 0.75f) << label << ": a host value after the load";
            host.serveMessageThread (10);
        }
}

TEST (PluginProcessorHostValues, CallsLongerThanAnnouncedTakeDenseLinesSafelyAndExactlyUpToEightBlocks)
{
    // Announced blocks of 512; calls of 4096 (eight announced blocks) play a dense line exactly as
    // calls of 512 do. Calls of 16384 are rendered too: within the room kept for eight blocks the
    // line plays, beyond it the call's last values; nothing outside the room is touched.
    constexpr int length = 32768;

    const auto render = [] (int call)
    {
        DawCallPattern host (48000.0, 16384);
        host.processor().prepareToPlay (48000.0, 512);
        host.source = DawCallPattern::noiseThenSilence (48000.0, 0.1, (double) length / 48000.0);

        for (int at = 0; at < length; at += 8)
            host.point ("delay_globals_dynamics_wet", at, (float) (0.5 + 0.5 * std::sin (0.001 * at)));

        host.play (0, length, { call });
        return host.interleavedRecording();
    };

    const auto announced = render (512);
    EXPECT_TRUE (render (4096) == announced);

    const auto longest = render (16384);
    ASSERT_EQ (longest.size(), announced.size());
    EXPECT_TRUE (std::all_of (longest.begin(), longest.end(), [] (float x) { return std::isfinite (x); }));
}
