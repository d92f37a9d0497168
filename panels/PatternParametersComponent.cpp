#include "PatternParametersComponent.h"

PatternParametersComponent::PatternParametersComponent() = default;

void PatternParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    if (node.hasType ("delay_pattern"))
    {
        valueTree = node;
        valueTree.addListener (this);

        for (const auto* property : { "pattern_l", "pattern_r", "time_mode" })
            valueTree.sendPropertyChangeMessage (property);
    }
    else if (node.hasType ("delay_globals_time"))
    {
        timeTree = node;
        timeTree.addListener (this);
        timeTree.sendPropertyChangeMessage ("pattern_mode");
    }
}

void PatternParametersComponent::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
}
