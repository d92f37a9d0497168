// Run under ThreadSanitizer: settings change on the message thread while a stereo pair renders
// on an audio thread (which also takes host values and timeline moves) and a graph copies the
// per-tap records.

#include "support/EngineTestRig.h"
#include "support/StereoEngineRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
TEST (OndulaDelayConcurrency, SettingsChangeWhileBlocksRenderWithoutARace)
{
    // The two engines of one instance render together and compare their settings to share the
    // per-block work; a second instance renders one engine alone on its own audio thread, so that
    // nothing is shared between instances behind their backs.
    StereoEngineRig rig (48000.0, 256);
    EngineTestRig otherInstance (true, 48000.0, 256);
    std::atomic<bool> running { true };
    std::atomic<int> blocksRendered { 0 };

    std::thread audio ([&]
    {
        auto left = noiseBlock (256, 1), right = noiseBlock (256, 3);

        while (running.load())
        {
            // The host relocates now and then, and sends parameter values, on this thread.
            const int block = blocksRendered.load();

            for (auto* engine : { rig.left.get(), rig.right.get() })
            {
                if (block % 7 == 0)
                    engine->moveToTimeline (48000 + 1000 * block);

                engine->setFromHost (OndulaDelay::globalAmount, (float) (block % 5) / 4.0f);
                engine->setFromHost (OndulaDelay::automationValue + 1, (float) (block % 3) / 2.0f);
            }

            rig.mappings.secondsPerBeat.store (blocksRendered.load() % 2 == 0 ? 0.5f : 0.4f, std::memory_order_relaxed);
            rig.process (left, right);
            blocksRendered.fetch_add (1);
        }
    });

    std::thread otherAudio ([&]
    {
        auto block = noiseBlock (256, 2);

        while (running.load())
            otherInstance.process (block);
    });

    // The per-tap filter graph: copies each engine's records under its mutex and reads the
    // published rate and time without it.
    std::thread graph ([&]
    {
        float sink = 0.0f;

        while (running.load())
        {
            for (auto* engine : { rig.left.get(), rig.right.get() })
            {
                TapState copy[32];
                {
                    std::lock_guard<RecursivePriorityMutex> lock (engine->mutex);
                    std::copy (std::begin (engine->tapStates), std::end (engine->tapStates), copy);
                }
                sink += copy[3].frequency + (float) engine->sampleRate.load()
                      + (float) (engine->hostTime.load() + engine->clock.load());
            }
        }

        EXPECT_TRUE (std::isfinite (sink));
    });

    // Message thread: every node the engine listens to, automated over and over.
    for (int i = 0; blocksRendered.load() < 200 || i < 300; ++i)
    {
        const double v = (i % 10) / 9.0;
        rig.set ("automation_frequency", "value", v);
        rig.set ("automation_pan", "scale_y", v - 0.5);
        rig.set ("ondula_delay", "scale", 1.0 - v);
        rig.set ("ondula_amplitude", "curve", i % 2 == 0 ? "0 1 0\n" : "0 0 0\n1 1 0.5\n");
        rig.set ("delay_pattern", "pattern_l", i % 3 == 0 ? "1111" : "10101010101010101010101010101010");
        rig.set ("delay_pattern", "pattern_r", i % 4 == 0 ? "1" : "11111111111111111111111111111111");
        rig.set ("delay_globals_ondula", "velocity", v);
        rig.set ("delay_globals_ondula", "time_mode", i % 3);
        rig.set ("delay_globals_time", "time", v * 0.3);
        rig.set ("delay_globals_time", "pattern_mode", i % 2);
        rig.set ("delay_globals_time", "time_mode", (i + 1) % 3);
        rig.set ("delay_globals_time", "feedback_amplitude", v * 0.5);
    }

    running = false;
    audio.join();
    otherAudio.join();
    graph.join();
    EXPECT_GE (blocksRendered.load(), 200);
}
} // namespace
