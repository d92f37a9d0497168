#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

#include "OndulaParametersComponent.h"
#include "../editor/LookAndFeel_KT.h"
#include "../editor/TabbedComponent_KT.h"

// The Ondula page: one panel per modulated target, behind tabs at the left.
class OndulaViewComponent : public juce::Component
{
public:
    OndulaViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor, in tab order.
    OndulaParametersComponent frequencyPanel;
    OndulaParametersComponent bandwidthPanel;
    OndulaParametersComponent amplitudePanel;
    OndulaParametersComponent panPanel;
    OndulaParametersComponent delayPanel;

    // Only shows the panels, which the page owns.
    TabbedComponent_KT tabs { juce::TabbedButtonBar::TabsAtLeft };
    std::string title { "Ondula" };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OndulaViewComponent)
};
