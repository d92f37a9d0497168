#include "GlobalOndulaParametersComponent.h"

GlobalOndulaParametersComponent::GlobalOndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions), commandLineInterpreter (console)
{
}

void GlobalOndulaParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "wavelength", "phase", "velocity", "amount", "time_mode" })
        valueTree.sendPropertyChangeMessage (property);
}

void GlobalOndulaParametersComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}
