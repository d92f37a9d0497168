#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "LookAndFeel_KT.h"

// A flat tab: grey name on the background, white when hovered or in front, underlined in front.
class TabbedBarButton_KT : public juce::TabBarButton
{
public:
    TabbedBarButton_KT (const juce::String& name, juce::TabbedButtonBar& bar, int length);

    void resized() override;
    void paintButton (juce::Graphics& g, bool isMouseOver, bool isMouseDown) override;
    int getBestTabLength (int depth) override;

    LookAndFeel_KT lookAndFeel;
    const int bestLength;
};
