#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../processor/CommandLineInterpreter.h"
#include "../processor/ParameterMappingFunctions.h"
#include "../editor/LookAndFeel_KT.h"

// The global Ondula wave: wavelength, phase, velocity, amount and rate mode.
class GlobalOndulaParametersComponent : public juce::Component,
                                        public juce::ValueTree::Listener
{
public:
    GlobalOndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    // Binds the panel to its node and re-announces the properties it shows, so that every
    // listener of the node takes the current values at once.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    CommandLineInterpreter& commandLineInterpreter;
    juce::ValueTree valueTree;
};
