// libFuzzer target: any bytes handed to the processor as a saved state must load or be refused
// without a crash, an out-of-bounds read or undefined behaviour; and what the plug-in then writes
// of an accepted state (the saved state, a preset file, the preset's file name) must pass the gate
// again and read back the same in another instance.

#include "processor/PluginProcessor.h"
#include "tests/support/StateRoundTrip.h"

#include <cstdint>
#include <cstdio>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    // Never destroyed: at exit the framework's own statics may already be gone.
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto* processor = new OndulaDelayAudioProcessor();
    static auto* other = new OndulaDelayAudioProcessor();
    static const auto defaults = StateRoundTrip::savedState (*other);
    juce::ignoreUnused (juce);

    const auto length = (int) juce::jmin (size, (size_t) std::numeric_limits<int>::max());
    processor->setStateInformation (data, length);

    // A refused state changed nothing that was not checked already.
    if (StateBlockReader::readXml (data, length) != nullptr)
        if (const auto problem = StateRoundTrip::check (*processor, *other, defaults); ! problem.empty())
        {
            std::fprintf (stderr, "round trip: %s\n", problem.c_str());
            __builtin_trap();
        }

    return 0;
}
