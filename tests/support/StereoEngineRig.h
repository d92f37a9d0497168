#pragma once

#include "engine/OndulaDelay.h"
#include "processor/ParameterMappingFunctions.h"

#include <juce_data_structures/juce_data_structures.h>

#include <memory>
#include <vector>

/** The two engines of a stereo pair as the processor holds them: one state tree and one tempo
    context, the second engine marked as the right channel, both prepared for mono blocks and
    rendered together. */
class StereoEngineRig
{
public:
    explicit StereoEngineRig (double sampleRate = 48000.0, int maxBlock = 4096);

    void set (const juce::String& nodeType, const juce::String& property, const juce::var& value);

    /** Renders one block of each channel in place, both engines in one pass. */
    void process (std::vector<float>& leftBlock, std::vector<float>& rightBlock);

    ParameterMappingFunctions mappings;
    juce::ValueTree tree;
    std::unique_ptr<OndulaDelay> left, right;
};
