#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "GlobalDynamicsParametersComponent.h"
#include "GlobalOndulaParametersComponent.h"
#include "GlobalTimeParametersComponent.h"
#include "../editor/LookAndFeel_KT.h"

// The globals page: levels, the global Ondula wave and the tap timing.
class GlobalViewComponent : public juce::Component
{
public:
    GlobalViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor.
    GlobalDynamicsParametersComponent dynamicsPanel;
    GlobalOndulaParametersComponent ondulaPanel;
    GlobalTimeParametersComponent timePanel;
};
