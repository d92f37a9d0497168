#include "GlobalViewComponent.h"

GlobalViewComponent::GlobalViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions),
      dynamicsPanel (mappingFunctions),
      ondulaPanel (mappingFunctions, console),
      timePanel (mappingFunctions, console)
{
}
