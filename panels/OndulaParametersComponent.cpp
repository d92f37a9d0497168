#include "OndulaParametersComponent.h"

OndulaParametersComponent::OndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter&)
    : parameterMappingFunctions (mappingFunctions)
{
}

void OndulaParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "scale", "phase", "shape", "asym", "function", "curve" })
        valueTree.sendPropertyChangeMessage (property);
}

void OndulaParametersComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}
