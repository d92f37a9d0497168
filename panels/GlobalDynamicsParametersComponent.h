#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "DynamicRangeCompressorComponent.h"
#include "../editor/HostStateNotifier.h"
#include "../editor/KelvatoneSlider.h"
#include "../editor/LookAndFeel_KT.h"
#include "../processor/ParameterMappingFunctions.h"

#include <string>

// Dry/wet and the compressor's threshold and slope, with the compressor's transfer curve: the
// node "delay_globals_dynamics", shown under the Global page's "Levels" tab. The node's "dry" is
// neither shown nor written here.
class GlobalDynamicsParametersComponent : public juce::Component,
                                          public juce::ValueTree::Listener
{
public:
    explicit GlobalDynamicsParametersComponent (ParameterMappingFunctions& mappingFunctions);

    // Binds the panel to its node and re-reads its properties for itself alone: the other
    // listeners of the node are not told.
    void setValueTree (juce::ValueTree node);

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;

    // The user's edits: 1 wet, 2 threshold, 3 slope.
    void doCallback (int index);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& parameterMappingFunctions;
    juce::ValueTree valueTree;

    float sliderWidth = 50.0f;
    float sliderHeight = 130.0f;
    float originX = 15.0f;
    float originY = 20.0f;
    float spacing = 75.0f;
    float labelOffsetX = -25.0f;
    float labelOffsetY = -15.0f;
    float labelWidth = 100.0f;
    float labelHeight = 20.0f;

    KelvatoneSlider wetSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider thresholdSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };
    KelvatoneSlider slopeSlider { lookAndFeel.c0, lookAndFeel.c12, true, juce::Slider::TextBoxBelow, nullptr };

    std::string wetLabel = "Dry/Wet";
    std::string thresholdLabel = "Threshold";
    std::string slopeLabel = "Slope";

    // Set by the editor: tells the host of a user's edit that no host parameter shows.
    HostStateNotifier* stateNotifier = nullptr;

    DynamicRangeCompressorComponent compressorDisplay;

private:
    // The display follows the faders (the limited, snapped values), as the compressor maps them.
    void showThreshold();
    void showSlope();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalDynamicsParametersComponent)
};
