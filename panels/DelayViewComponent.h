#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

#include "../editor/LookAndFeel_KT.h"
#include "PatternParametersComponent.h"

// The pattern page along the bottom of the window; its panel covers it entirely.
class DelayViewComponent : public juce::Component
{
public:
    DelayViewComponent();

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;

    // Bound by the editor.
    PatternParametersComponent patternPanel;
    std::string title = "Pattern";
};
