#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../processor/ParameterMappingFunctions.h"
#include "../editor/LookAndFeel_KT.h"

// Dry, wet and the compressor's threshold and slope.
class GlobalDynamicsParametersComponent : public juce::Component,
                                          public juce::ValueTree::Listener
{
public:
    explicit GlobalDynamicsParametersComponent (ParameterMappingFunctions& mappingFunctions);

    // Binds the panel to its node and re-reads its properties for itself alone: the other
    // listeners of the node are not told.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    juce::ValueTree valueTree;
};
