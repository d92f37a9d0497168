#pragma once

#include "GlobalDynamicsParametersComponent.h"
#include "GlobalOndulaParametersComponent.h"
#include "GlobalTimeParametersComponent.h"
#include "TabbedPageComponent.h"

// The page "Globals": the settings shared by all taps behind the tabs "Taps" (timing and
// feedback), "Levels" (dry/wet and compressor) and "Ondula" (the global wave). It touches no tree.
class GlobalViewComponent : public TabbedPageComponent
{
public:
    GlobalViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    ParameterMappingFunctions& parameterMappingFunctions;

    // Bound by the editor.
    GlobalDynamicsParametersComponent dynamicsPanel;
    GlobalOndulaParametersComponent ondulaPanel;
    GlobalTimeParametersComponent timePanel;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalViewComponent)
};
