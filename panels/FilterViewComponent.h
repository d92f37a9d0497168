#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

#include "FilterParametersComponent.h"
#include "../editor/LookAndFeel_KT.h"
#include "../editor/TabbedComponent_KT.h"

// The automation page: one curve panel per automated tap parameter, behind tabs at the left.
// The "Pan" panel's curve editor is bipolar: its preview centres on the panel's centre value.
class FilterViewComponent : public juce::Component
{
public:
    FilterViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    // Only shows the panels, which the page owns.
    TabbedComponent_KT tabs { juce::TabbedButtonBar::TabsAtLeft };

    // Bound by the editor, in tab order.
    FilterParametersComponent frequencyPanel;
    FilterParametersComponent bandwidthPanel;
    FilterParametersComponent amplitudePanel;
    FilterParametersComponent panPanel;

    std::string title { "Automation" };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilterViewComponent)
};
