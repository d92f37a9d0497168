#include "OndulaViewComponent.h"

OndulaViewComponent::OndulaViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions),
      frequencyPanel (mappingFunctions, console),
      bandwidthPanel (mappingFunctions, console),
      amplitudePanel (mappingFunctions, console),
      panPanel (mappingFunctions, console),
      delayPanel (mappingFunctions, console)
{
}
