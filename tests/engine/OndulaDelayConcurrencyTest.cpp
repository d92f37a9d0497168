// Run under ThreadSanitizer: settings change on the message thread while blocks render on an
// audio thread and a graph copies the per-tap records.

#include "support/EngineTestRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
TEST (OndulaDelayConcurrency, SettingsChangeWhileBlocksRenderWithoutARace)
{
    EngineTestRig rig (false, 48000.0, 256);
    // A second plug-in instance with its own audio thread: both engines offer their per-block
    // results to each other (the engines of one instance share them), so that hand-over is raced too.
    EngineTestRig otherInstance (true, 48000.0, 256);
    std::atomic<bool> running { true };
    std::atomic<int> blocksRendered { 0 };

    std::thread audio ([&]
    {
        auto block = noiseBlock (256, 1);
        double seconds = 1.0;

        while (running.load())
        {
            rig.engine->hostTime.store (seconds += 0.005, std::memory_order_relaxed);
            rig.engine->clock.store (0.0, std::memory_order_relaxed);
            rig.mappings.secondsPerBeat.store (blocksRendered.load() % 2 == 0 ? 0.5f : 0.4f, std::memory_order_relaxed);
            rig.process (block);
            blocksRendered.fetch_add (1);
        }
    });

    std::thread otherAudio ([&]
    {
        auto block = noiseBlock (256, 2);

        while (running.load())
            otherInstance.process (block);
    });

    // The per-tap filter graph: copies the records under the engine's mutex and reads the
    // published rate and time without it.
    std::thread graph ([&]
    {
        float sink = 0.0f;

        while (running.load())
        {
            TapState copy[32];
            {
                std::lock_guard<RecursivePriorityMutex> lock (rig.engine->mutex);
                std::copy (std::begin (rig.engine->tapStates), std::end (rig.engine->tapStates), copy);
            }
            sink += copy[3].frequency + (float) rig.engine->sampleRate.load()
                  + (float) (rig.engine->hostTime.load() + rig.engine->clock.load());
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
