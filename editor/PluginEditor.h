#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "../panels/DelayViewComponent.h"
#include "../panels/FilterEQGraphComponent.h"
#include "../panels/FilterViewComponent.h"
#include "../panels/GlobalViewComponent.h"
#include "../panels/OndulaGraphComponent.h"
#include "../panels/OndulaViewComponent.h"
#include "../processor/PluginProcessor.h"
#include "CommandLineComponent.h"
#include "HostStateNotifier.h"
#include "LookAndFeel_KT.h"
#include "PresetManagerComponent.h"

// The plug-in's window, 1350 x 660: owns every page, graph and strip, binds them to the
// processor's state tree and lays them out on a fixed grid. It keeps no setting of its own.
class OndulaDelayAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit OndulaDelayAudioProcessorEditor (OndulaDelayAudioProcessor& processor);
    ~OndulaDelayAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void paintOverChildren (juce::Graphics& g) override;
    void resized() override;

    static constexpr int editorWidth = 1350;
    static constexpr int editorHeight = 660;

    LookAndFeel_KT lookAndFeel;
    juce::ValueTree& stateTree;
    // Before the views, which hold it, and gone after them.
    HostStateNotifier stateNotifier;
    DelayViewComponent delayView;
    FilterViewComponent filterView;
    OndulaViewComponent ondulaView;
    FilterEQGraphComponent filterGraph;
    OndulaGraphComponent ondulaGraph;
    GlobalViewComponent globalView;
    CommandLineComponent consoleStrip;
    PresetManagerComponent presetStrip;
};
