#include "OndulaGraphComponent.h"

OndulaGraphComponent::OndulaGraphComponent (OndulaDelayAudioProcessor& processorToUse)
    : processor (processorToUse), pmf (processorToUse.mappingFunctions)
{
    startTimer (33);
}

OndulaGraphComponent::~OndulaGraphComponent()
{
    stopTimer();
}

namespace
{
    juce::ValueTree findNode (const juce::ValueTree& root, const juce::String& type)
    {
        return root.getChildWithName (type.upToFirstOccurrenceOf ("_", false, false)).getChildWithName (type);
    }
}

void OndulaGraphComponent::setValueTree (juce::ValueTree newRoot)
{
    if (! newRoot.isValid())
        return;

    root = newRoot;

    // Nodes are bound in three groups (automation, Ondula, pattern and globals); each group is
    // announced once all of its nodes listen.
    const auto bindGroup = [this] (std::initializer_list<size_t> bindOrder, std::initializer_list<size_t> announceOrder)
    {
        for (auto i : bindOrder)
        {
            if (auto node = findNode (root, bindings[i].type); node.isValid())
            {
                nodes[i] = node;
                nodes[i].addListener (this);
            }
        }

        for (auto i : announceOrder)
            if (nodes[i].isValid())
                nodes[i].sendPropertyChangeMessage (bindings[i].announced);
    };

    bindGroup ({ 0, 1, 2, 3 }, { 0, 1, 2, 3 });
    bindGroup ({ 4, 5, 6, 7, 8 }, { 4, 5, 6, 7, 8 });
    // The dynamics node is announced before the time node.
    bindGroup ({ 9, 10, 11, 12 }, { 9, 10, 12, 11 });
}

void OndulaGraphComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}

void OndulaGraphComponent::timerCallback()
{
}
