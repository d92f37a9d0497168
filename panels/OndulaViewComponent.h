#pragma once

#include "OndulaParametersComponent.h"
#include "TabbedPageComponent.h"

// The Ondula page: one panel per modulated target, behind tabs at the left.
class OndulaViewComponent : public TabbedPageComponent
{
public:
    OndulaViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor, in tab order.
    OndulaParametersComponent frequencyPanel;
    OndulaParametersComponent bandwidthPanel;
    OndulaParametersComponent amplitudePanel;
    OndulaParametersComponent panPanel;
    OndulaParametersComponent delayPanel;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OndulaViewComponent)
};
