#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/LookAndFeel_KT.h"
#include "PatternParametersComponent.h"

// The pattern page: the two step-pattern editors and their panel.
class DelayViewComponent : public juce::Component
{
public:
    DelayViewComponent();

    LookAndFeel_KT lookAndFeel;

    // Bound by the editor.
    PatternParametersComponent patternPanel;
};
