#pragma once

// Placeholder engine: passes audio through until the delay engine lands.

#include "processor/ParameterMappingFunctions.h"

#include <juce_dsp/juce_dsp.h>

#include <atomic>
#include <mutex>

struct TapState
{
    int delayOndula = 0;
    int delayBase = 0;
    float b0 = 1.0f, b1 = 1.0f, b2 = 1.0f, a0 = 1.0f, a1 = 1.0f, a2 = 1.0f;
    float frequency = 0.0f;
    float bandwidth = 1.0f;
    float gain = 1.0f;
    float amplitude = 0.0f;
    float pan = 0.0f;
    bool enabled = true;
};

class OndulaDelay : public juce::ValueTree::Listener
{
public:
    explicit OndulaDelay (ParameterMappingFunctions& mappings) : mappingFunctions (mappings) {}

    void prepare (const juce::dsp::ProcessSpec& spec) { sampleRate.store ((int) spec.sampleRate); }
    void setValueTree (juce::ValueTree tree) { stateTree = tree; }
    void processSIMDSmart (const juce::dsp::ProcessContextReplacing<float>&) {}

    juce::ValueTree stateTree;
    ParameterMappingFunctions& mappingFunctions;
    bool isRightChannel = false;
    std::atomic<int> sampleRate { 48000 };
    std::atomic<double> hostTime { 0.0 };
    std::atomic<double> clock { 0.0 };
    TapState tapStates[32];
    std::recursive_mutex mutex;
};
