#include "FilterEQGraphComponent.h"

FilterEQGraphComponent::FilterEQGraphComponent (ParameterMappingFunctions& mappingFunctions, OndulaDelay& left, OndulaDelay& right)
    : parameterMappingFunctions (mappingFunctions), leftEngine (left), rightEngine (right)
{
    startTimer (33);
}

FilterEQGraphComponent::~FilterEQGraphComponent()
{
    stopTimer();
}

namespace
{
    // Node types start with the name of their group: "automation", "ondula" or "delay".
    juce::ValueTree findNode (const juce::ValueTree& root, const juce::String& type)
    {
        return root.getChildWithName (type.upToFirstOccurrenceOf ("_", false, false)).getChildWithName (type);
    }
}

void FilterEQGraphComponent::setValueTree (juce::ValueTree newRoot)
{
    if (! newRoot.isValid())
        return;

    root = newRoot;

    for (size_t i = 0; i < nodeTypes.size(); ++i)
    {
        if (auto node = findNode (root, nodeTypes[i]); node.isValid())
        {
            nodes[i] = node;
            nodes[i].addListener (this);
        }
    }
}

void FilterEQGraphComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}

void FilterEQGraphComponent::timerCallback()
{
}
