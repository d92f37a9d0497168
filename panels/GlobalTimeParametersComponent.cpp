#include "GlobalTimeParametersComponent.h"

GlobalTimeParametersComponent::GlobalTimeParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions), commandLineInterpreter (console)
{
}

void GlobalTimeParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "time", "time_mode", "pattern_mode", "feedback_amplitude", "feedback_frequency", "feedback_width" })
        valueTree.sendPropertyChangeMessage (property);
}

void GlobalTimeParametersComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}
