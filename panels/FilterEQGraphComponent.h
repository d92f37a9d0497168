#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

#include "../editor/LookAndFeel_KT.h"
#include "../engine/OndulaDelay.h"
#include "../processor/ParameterMappingFunctions.h"

// The per-tap filter graph: samples the engine's per-tap records every 33 ms. It follows the
// tree's nodes without announcing anything.
class FilterEQGraphComponent : public juce::Component,
                               public juce::ValueTree::Listener,
                               public juce::Timer
{
public:
    FilterEQGraphComponent (ParameterMappingFunctions& mappingFunctions, OndulaDelay& left, OndulaDelay& right);
    ~FilterEQGraphComponent() override;

    // Looks its nodes up from the root and listens to each one found; announces nothing.
    void setValueTree (juce::ValueTree root);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;
    void timerCallback() override;

    // The followed nodes, in binding order; each is looked up under its group node.
    static constexpr std::array<const char*, 13> nodeTypes {
        "automation_frequency", "automation_amplitude", "automation_bandwidth",
        "ondula_frequency", "ondula_amplitude", "ondula_bandwidth", "ondula_pan", "ondula_delay",
        "delay_pattern", "delay_globals", "delay_globals_ondula", "delay_globals_time", "delay_globals_dynamics"
    };

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    OndulaDelay& leftEngine;
    OndulaDelay& rightEngine;
    juce::ValueTree root;
    std::array<juce::ValueTree, nodeTypes.size()> nodes;
};
