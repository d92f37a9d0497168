#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/HostStateNotifier.h"
#include "../editor/KelvatoneSlider.h"
#include "../editor/LookAndFeel_KT.h"
#include "../editor/SimpleRectangleButton.h"
#include "../processor/CommandLineInterpreter.h"
#include "../processor/ParameterMappingFunctions.h"

#include <string>

// The delay time and the reference it is measured in, the grid of the step patterns and the
// feedback path: the node "delay_globals_time", shown under the Global page's "Taps" tab.
class GlobalTimeParametersComponent : public juce::Component,
                                      public juce::ValueTree::Listener
{
public:
    GlobalTimeParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    // Binds the panel to its node and re-announces the properties it shows, so that every
    // listener of the node takes the current values at once.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    // The user's edits: 0 time, 1..3 time reference, 4..5 pattern grid, 6..8 feedback.
    void doCallback (int index);
    void doButtonCallback (SimpleRectangleButton& button);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    CommandLineInterpreter& commandLineInterpreter;
    juce::ValueTree valueTree;

    float buttonWidth = 50.0f;
    float buttonHeight = 25.0f;
    float buttonOffsetY = 13.0f;
    float buttonSpacing = 30.0f;

    SimpleRectangleButton hzButton { "Hz" };
    SimpleRectangleButton beatsButton { "Beats" };
    SimpleRectangleButton tripletButton { "Trip" };
    SimpleRectangleButton beatButton { "Beat" };
    SimpleRectangleButton tripletGridButton { "Trip" };

    int timeModeSelection = 1;
    int patternModeSelection = 0;

    float sliderWidth = 50.0f;
    float sliderHeight = 130.0f;
    float originX = 15.0f;
    float originY = 20.0f;
    float spacing = 75.0f;
    float labelOffsetX = -25.0f;
    float labelOffsetY = -15.0f;
    float labelWidth = 100.0f;
    float labelHeight = 20.0f;

    KelvatoneSlider timeSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider amplitudeSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider frequencySlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider widthSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };

    std::string timeLabel = "Time";
    std::string referenceLabel = "Reference";
    std::string patternLabel = "Pattern";
    std::string amplitudeLabel = "Amplitude";
    std::string frequencyLabel = "Frequency";
    std::string widthLabel = "Width";

    // Set by the editor: tells the host of the feedback edits, which no host parameter carries.
    HostStateNotifier* stateNotifier = nullptr;

private:
    void showTimeMode (juce::ValueTree& node, const juce::Identifier& property);
    void showPatternMode (juce::ValueTree& node, const juce::Identifier& property);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalTimeParametersComponent)
};
