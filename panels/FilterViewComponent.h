#pragma once

#include "FilterParametersComponent.h"
#include "TabbedPageComponent.h"

// The automation page: one curve panel per automated tap parameter, behind tabs at the left.
// The "Pan" panel's curve editor is bipolar: its preview centres on the panel's centre value.
class FilterViewComponent : public TabbedPageComponent
{
public:
    FilterViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor, in tab order.
    FilterParametersComponent frequencyPanel;
    FilterParametersComponent bandwidthPanel;
    FilterParametersComponent amplitudePanel;
    FilterParametersComponent panPanel;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilterViewComponent)
};
