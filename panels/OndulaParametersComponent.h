#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

#include "QuorlStyleCurveEditor.h"
#include "../editor/HostStateNotifier.h"
#include "../editor/KelvatoneSlider.h"
#include "../editor/LookAndFeel_KT.h"
#include "../processor/CommandLineInterpreter.h"
#include "../processor/ParameterMappingFunctions.h"
#include "../processor/QuorlStyleCurve.h"

// One Ondula panel: the depth, the phase and the per-tap weighting curve of one modulated target.
// The curve editor's preview shows the curve scaled by the depth, as each tap's depth.
class OndulaParametersComponent : public juce::Component,
                                  public juce::ValueTree::Listener
{
public:
    OndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);
    ~OndulaParametersComponent() override;

    // Binds the panel to its node and re-announces the properties it shows, so that every
    // listener of the node takes the current values at once.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    // A user's edit of control `index` (0 amount, 1 phase, 7 curve) written to the node.
    void doCallback (int index);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    juce::ValueTree valueTree;

    float sliderWidth = 50.0f, sliderHeight = 130.0f;
    float originX = 15.0f, originY = 20.0f;
    float spacing = 75.0f;
    float labelOffsetX = -25.0f, labelOffsetY = -15.0f;
    float labelWidth = 100.0f, labelHeight = 20.0f;

    KelvatoneSlider amountSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider phaseSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    std::string amountLabel { "Amount" };
    std::string phaseLabel { "Phase" };

    QuorlStyleCurve editedCurve;
    QuorlStyleCurveEditor curveEditor { editedCurve };

    // Set by the editor: tells the host of a user's edit that no host parameter shows.
    HostStateNotifier* stateNotifier = nullptr;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OndulaParametersComponent)
};
