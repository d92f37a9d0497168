#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "LookAndFeel_KT.h"

// A tab container whose bar sits where the owning page puts it and whose tabs all have one
// fixed length. The pages keep ownership of the panels they add as tabs.
class TabbedComponent_KT : public juce::TabbedComponent
{
public:
    explicit TabbedComponent_KT (juce::TabbedButtonBar::Orientation orientation);
    ~TabbedComponent_KT() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    juce::TabBarButton* createTabButton (const juce::String& tabName, int tabIndex) override;

    juce::Rectangle<int> barBounds;
    // Copied by each tab button when it is created: set it before adding tabs.
    int tabLength = 50;
    int margin = 5;
    LookAndFeel_KT lookAndFeel;
};
