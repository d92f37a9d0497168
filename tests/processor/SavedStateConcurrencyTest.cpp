#include "support/MessagePump.h"
#include "support/ProcessorFixture.h"

#include <atomic>
#include <thread>

using SavedStateConcurrency = ProcessorFixture;

// A VST3 host restores and saves state on its own thread while the framework's message thread
// (inside the plug-in on Linux) writes host automation into the tree.
TEST_F (SavedStateConcurrency, HostThreadStateCallsAndMessageThreadWritesNeverOverlap)
{
    node ("delay_globals_dynamics").setProperty ("wet", 0.25, nullptr);
    juce::MemoryBlock valid;
    processor->getStateInformation (valid);

    std::atomic<int> running { 2 };

    std::thread host ([&]
    {
        for (int i = 0; i < 40; ++i)
        {
            processor->setStateInformation (valid.getData(), (int) valid.getSize());
            juce::MemoryBlock saved;
            processor->getStateInformation (saved);
        }

        --running;
    });

    std::thread audio ([&]
    {
        auto& time = parameter ("delay_globals_time_time");

        for (int i = 0; i < 400; ++i)
        {
            time.setValueNotifyingHost ((float) (i % 100) / 100.0f);
            std::this_thread::yield();
        }

        --running;
    });

    EXPECT_TRUE (MessagePump::runUntil ([&] { return running == 0; }, 60000));
    host.join();
    audio.join();
    MessagePump::run (50);

    EXPECT_EQ ((double) node ("delay_globals_dynamics")["wet"], (double) 0.25f);
    EXPECT_EQ ((float) (double) node ("delay_globals_time")["time"], parameter ("delay_globals_time_time").getValue());
}
