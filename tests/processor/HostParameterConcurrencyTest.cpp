// Run under ThreadSanitizer: a host's parameter points reach the processor on the audio thread and
// its edits through the controller on a thread of its own, while the message thread edits the tree,
// writes the host's values back into it, saves the state and loads one.

#include "support/MessagePump.h"
#include "support/ProcessorFixture.h"

#include <atomic>
#include <thread>

using HostParameterConcurrency = ProcessorFixture;

TEST_F (HostParameterConcurrency, PointsControllerEditsAndTreeEditsCrossThreadsWithoutARace)
{
    processor->prepareToPlay (48000.0, 256);
    juce::MemoryBlock saved;
    processor->getStateInformation (saved);
    std::atomic<int> running { 2 };

    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        auto& amount = parameter ("delay_globals_ondula_amount");
        auto& wet = parameter ("delay_globals_dynamics_wet");

        for (int block = 0; block < 300; ++block)
        {
            buffer.clear();
            buffer.setSample (0, 0, 0.5f);

            // As the VST3 client does: every point first, then the parameter to the last one.
            processor->hostCallBegins (buffer.getNumSamples());

            for (int k = 0; k < 4; ++k)
            {
                processor->hostParameterPoint (amount.getParameterIndex(), 64 * k, (float) ((block + k) % 10) / 9.0f);
                processor->hostParameterPoint (wet.getParameterIndex(), 64 * k + 5, (float) ((block * 3 + k) % 7) / 6.0f);
            }

            // The parameter takes the last one without calling its listeners, and the processor is told.
            amount.setValue ((float) ((block + 3) % 10) / 9.0f);
            processor->hostParameterSet (amount.getParameterIndex());
            wet.setValue ((float) ((block * 3 + 3) % 7) / 6.0f);
            processor->hostParameterSet (wet.getParameterIndex());
            processor->processBlock (buffer, midi);
        }

        --running;
    });

    std::thread controller ([&]
    {
        auto& time = parameter ("delay_globals_time_time");

        for (int i = 0; i < 400; ++i)
        {
            // As the client does: the processor is told, then the parameter set, its listeners
            // called on this thread.
            processor->hostControllerEdit (time.getParameterIndex(), (float) (i % 50) / 50.0f);
            time.setValueNotifyingHost ((float) (i % 50) / 50.0f);
            std::this_thread::yield();
        }

        --running;
    });

    // The message thread edits the settings the host automates, and serves the write-backs.
    for (int i = 0; running > 0; ++i)
    {
        node ("delay_globals_ondula").setProperty ("amount", (i % 4) / 3.0, nullptr);
        node ("delay_globals_dynamics").setProperty ("wet", (i % 5) / 4.0, nullptr);
        node ("delay_globals_dynamics").setProperty ("compressor_slope", (i % 3) / 2.0, nullptr);

        if (i % 8 == 0)
            processor->setStateInformation (saved.getData(), (int) saved.getSize());

        if (i % 8 == 4)
        {
            juce::MemoryBlock state;
            processor->getStateInformation (state);
        }

        processor->writeBackUnheardHostChanges();
        MessagePump::run (1);
    }

    audio.join();
    controller.join();
    MessagePump::run (20);
    SUCCEED();
}
