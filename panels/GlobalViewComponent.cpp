#include "GlobalViewComponent.h"

GlobalViewComponent::GlobalViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : TabbedPageComponent ("Globals"),
      parameterMappingFunctions (mappingFunctions),
      dynamicsPanel (mappingFunctions),
      ondulaPanel (mappingFunctions, console),
      timePanel (mappingFunctions, console)
{
    addPanel ("Taps", timePanel);
    addPanel ("Levels", dynamicsPanel);
    addPanel ("Ondula", ondulaPanel);
}
