#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

#include "../editor/LookAndFeel_KT.h"
#include "../processor/PluginProcessor.h"

// The Ondula graph of the five modulated rows, redrawn every 33 ms from the tree and the left
// engine's running clock.
class OndulaGraphComponent : public juce::Component,
                             public juce::ValueTree::Listener,
                             public juce::Timer
{
public:
    explicit OndulaGraphComponent (OndulaDelayAudioProcessor& processorToUse);
    ~OndulaGraphComponent() override;

    // Looks its nodes up from the root, listens to each one found and re-announces the
    // properties it reads, so that every listener of those nodes takes them at once.
    void setValueTree (juce::ValueTree root);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;
    void timerCallback() override;

    struct Binding
    {
        const char* type;
        const char* announced;
    };

    // The followed nodes in binding order, each with the property re-announced on it.
    static constexpr std::array<Binding, 13> bindings { {
        { "automation_frequency", "value" }, { "automation_amplitude", "value" },
        { "automation_bandwidth", "value" }, { "automation_pan", "value" },
        { "ondula_frequency", "scale" }, { "ondula_amplitude", "scale" }, { "ondula_bandwidth", "scale" },
        { "ondula_pan", "scale" }, { "ondula_delay", "scale" },
        { "delay_pattern", "time" }, { "delay_globals_ondula", "wavelength" },
        { "delay_globals_time", "time" }, { "delay_globals_dynamics", "dry" },
    } };

    OndulaDelayAudioProcessor& processor;
    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& pmf;
    juce::ValueTree root;
    std::array<juce::ValueTree, bindings.size()> nodes;
};
