#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/HostStateNotifier.h"
#include "../editor/KelvatoneSlider.h"
#include "../editor/LookAndFeel_KT.h"
#include "../editor/SimpleRectangleButton.h"
#include "../processor/CommandLineInterpreter.h"
#include "../processor/ParameterMappingFunctions.h"

#include <string>

// The travelling wave shared by every Ondula target: its amount, rate and the reference the rate
// is measured in, its wavelength and phase. The node "delay_globals_ondula", shown under the
// Global page's "Ondula" tab.
class GlobalOndulaParametersComponent : public juce::Component,
                                        public juce::ValueTree::Listener
{
public:
    GlobalOndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console);

    // Binds the panel to its node and re-announces the properties it shows, so that every
    // listener of the node takes the current values at once.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    // The user's edits: 0 wavelength, 1 phase, 2 rate, 3 amount, 4..5 rate reference free or synced.
    void doCallback (int index);

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

    int timeModeSelection = 0;

    float sliderWidth = 50.0f;
    float sliderHeight = 130.0f;
    float originX = 15.0f;
    float originY = 20.0f;
    float spacing = 75.0f;
    float labelOffsetX = -25.0f;
    float labelOffsetY = -15.0f;
    float labelWidth = 100.0f;
    float labelHeight = 20.0f;

    KelvatoneSlider wavelengthSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider phaseSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider rateSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider amountSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };

    std::string wavelengthLabel = "Wavelength";
    std::string phaseLabel = "Phase";
    std::string rateLabel = "Rate";
    std::string amountLabel = "Amount";
    std::string referenceLabel = "Reference";

    // Set by the editor: tells the host of a user's edit that no host parameter shows.
    HostStateNotifier* stateNotifier = nullptr;

private:
    void selectTimeMode (SimpleRectangleButton& button, int mode);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalOndulaParametersComponent)
};
