#include "OndulaViewComponent.h"

OndulaViewComponent::OndulaViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : TabbedPageComponent ("Ondula"),
      parameterMappingFunctions (mappingFunctions),
      frequencyPanel (mappingFunctions, console),
      bandwidthPanel (mappingFunctions, console),
      amplitudePanel (mappingFunctions, console),
      panPanel (mappingFunctions, console),
      delayPanel (mappingFunctions, console)
{
    addPanel ("Freq", frequencyPanel);
    addPanel ("BW", bandwidthPanel);
    addPanel ("Ampl", amplitudePanel);
    addPanel ("Pan", panPanel);
    addPanel ("Time", delayPanel);
}
