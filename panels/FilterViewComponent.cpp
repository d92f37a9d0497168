#include "FilterViewComponent.h"

FilterViewComponent::FilterViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : TabbedPageComponent ("Automation"),
      parameterMappingFunctions (mappingFunctions),
      frequencyPanel (mappingFunctions, console),
      bandwidthPanel (mappingFunctions, console),
      amplitudePanel (mappingFunctions, console),
      panPanel (mappingFunctions, console)
{
    addPanel ("Freq", frequencyPanel);
    addPanel ("BW", bandwidthPanel);
    addPanel ("Ampl", amplitudePanel);
    addPanel ("Pan", panPanel);

    for (auto* panel : { &frequencyPanel, &bandwidthPanel, &amplitudePanel, &panPanel })
        panel->onChange = [] {};

    // A pan curve spreads the taps around the centre rather than above it.
    panPanel.curveEditor.bipolar = true;
    panPanel.curveEditor.repaint();
}
