// libFuzzer target: any bytes handed to the processor as a saved state must load or be refused
// without a crash, an out-of-bounds read or undefined behaviour.

#include "processor/PluginProcessor.h"

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    static juce::ScopedJuceInitialiser_GUI juce;
    static auto processor = std::make_unique<OndulaDelayAudioProcessor>();

    processor->setStateInformation (data, (int) juce::jmin (size, (size_t) std::numeric_limits<int>::max()));
    return 0;
}
