#include "GlobalDynamicsParametersComponent.h"

GlobalDynamicsParametersComponent::GlobalDynamicsParametersComponent (ParameterMappingFunctions& mappingFunctions)
    : parameterMappingFunctions (mappingFunctions)
{
}

void GlobalDynamicsParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "dry", "wet", "compressor_threshold", "compressor_slope" })
        valueTreePropertyChanged (valueTree, property);
}

void GlobalDynamicsParametersComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}
