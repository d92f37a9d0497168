#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "FilterParametersComponent.h"
#include "../editor/LookAndFeel_KT.h"

// The automation page: one curve panel per automated tap parameter.
class FilterViewComponent : public juce::Component
{
public:
    FilterViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor, in tab order.
    FilterParametersComponent frequencyPanel;
    FilterParametersComponent bandwidthPanel;
    FilterParametersComponent amplitudePanel;
    FilterParametersComponent panPanel;
};
