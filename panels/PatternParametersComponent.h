#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/LookAndFeel_KT.h"

// The left and right step patterns with the grid's time and pattern modes. It follows two
// nodes, told apart by their type.
class PatternParametersComponent : public juce::Component,
                                   public juce::ValueTree::Listener
{
public:
    PatternParametersComponent();

    // Binds a "delay_pattern" or a "delay_globals_time" node; any other node is ignored.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    LookAndFeel_KT lookAndFeel;
    juce::ValueTree valueTree;
    juce::ValueTree timeTree;
};
