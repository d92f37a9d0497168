#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "GlobalDynamicsParametersComponent.h"
#include "GlobalOndulaParametersComponent.h"
#include "GlobalTimeParametersComponent.h"
#include "../editor/LookAndFeel_KT.h"
#include "../editor/TabbedComponent_KT.h"

#include <string>

// The page "Globals": the settings shared by all taps behind the tabs "Taps" (timing and
// feedback), "Levels" (dry/wet and compressor) and "Ondula" (the global wave). It touches no tree.
class GlobalViewComponent : public juce::Component
{
public:
    GlobalViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor.
    GlobalDynamicsParametersComponent dynamicsPanel;
    GlobalOndulaParametersComponent ondulaPanel;
    GlobalTimeParametersComponent timePanel;

    // Shows the panels without owning them; destroyed before them.
    TabbedComponent_KT tabs { juce::TabbedButtonBar::TabsAtLeft };
    std::string title = "Globals";

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalViewComponent)
};
