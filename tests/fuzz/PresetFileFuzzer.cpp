// libFuzzer target: any bytes a user is handed as a preset file must load or be refused without a
// crash, an out-of-bounds read or undefined behaviour: the preset strip's reading (the gate with
// the saved state's limits, the root check), then the merge into a live processor.

#include "editor/PresetFolder.h"
#include "processor/PluginProcessor.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    // Never destroyed: at exit the framework's own statics may already be gone.
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto* processor = new OndulaDelayAudioProcessor();
    juce::ignoreUnused (juce);

    juce::String error;

    if (const auto xml = PresetFolder::readText (std::string_view (reinterpret_cast<const char*> (data), size), error))
        processor->mergeLoadedState (xml.get());

    return 0;
}
