#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "OndulaParametersComponent.h"
#include "../editor/LookAndFeel_KT.h"

// The Ondula page: one panel per modulated target.
class OndulaViewComponent : public juce::Component
{
public:
    OndulaViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor, in tab order.
    OndulaParametersComponent frequencyPanel;
    OndulaParametersComponent bandwidthPanel;
    OndulaParametersComponent amplitudePanel;
    OndulaParametersComponent panPanel;
    OndulaParametersComponent delayPanel;
};
