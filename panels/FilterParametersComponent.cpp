#include "FilterParametersComponent.h"

FilterParametersComponent::FilterParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter&)
    : parameterMappingFunctions (mappingFunctions)
{
}

void FilterParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "value", "scale_y", "scale_x", "curve" })
        valueTree.sendPropertyChangeMessage (property);
}

void FilterParametersComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}
