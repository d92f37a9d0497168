#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <string>

#include "../editor/HostStateNotifier.h"
#include "../editor/LookAndFeel_KT.h"
#include "DelayPatternComponent.h"

// The left and right step patterns of "delay_pattern", drawn on the tap grid that "pattern_mode"
// of "delay_globals_time" chooses. It follows both nodes, told apart by the tree that notifies.
// Only a toggle made with the mouse writes; what comes from the tree is shown and never written back.
// A "pattern_mode" of 1 or 2 (the host parameter's top step) shows the triplet grid the engines play.
// Bound to the engines, the grid follows what they play, host values included.
class PatternParametersComponent : public juce::Component,
                                   public juce::ValueTree::Listener,
                                   private juce::Timer
{
public:
    PatternParametersComponent();
    ~PatternParametersComponent() override;

    /** Shows the grid the engines play: `playsTripletGrid` is read every 33 ms on the message
        thread. */
    void followPlayedGrid (std::function<bool()> playsTripletGrid);

    /** Takes the played grid now, repainting where it changed. */
    void timerCallback() override;

    // Binds a "delay_pattern" or a "delay_globals_time" node; any other node is ignored.
    void setValueTree (juce::ValueTree node);

    // 1 writes the left editor's pattern, 2 the right one's.
    void doCallback (int index);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    juce::ValueTree patternTree;
    juce::ValueTree timeTree;
    int patternX = 40, patternY = 40;
    int patternHeight = 50;
    int patternSpacing = 65;
    int patternWidth = 750;
    DelayPatternComponent leftPattern;
    DelayPatternComponent rightPattern;
    std::string title = "Pattern";

    // Set by the editor: tells the host of a step toggled, which no host parameter shows.
    HostStateNotifier* stateNotifier = nullptr;

private:
    void showGrid (bool triplet);

    std::function<bool()> playedGrid;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PatternParametersComponent)
};
