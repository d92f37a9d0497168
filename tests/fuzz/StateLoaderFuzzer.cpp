// libFuzzer target: any bytes handed to the processor as a saved state must load or be refused
// without a crash, an out-of-bounds read or undefined behaviour.

#include "processor/PluginProcessor.h"

#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    // Never destroyed: at exit the framework's own statics may already be gone.
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto* processor = new OndulaDelayAudioProcessor();
    juce::ignoreUnused (juce);

    processor->setStateInformation (data, (int) juce::jmin (size, (size_t) std::numeric_limits<int>::max()));
    return 0;
}
