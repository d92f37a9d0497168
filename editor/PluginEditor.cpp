#include "PluginEditor.h"

OndulaDelayAudioProcessorEditor::OndulaDelayAudioProcessorEditor (OndulaDelayAudioProcessor& p)
    : juce::AudioProcessorEditor (p),
      stateTree (p.stateTree),
      stateNotifier (p),
      filterView (p.mappingFunctions, p.commandLine),
      ondulaView (p.mappingFunctions, p.commandLine),
      filterGraph (p.mappingFunctions, p.leftDelay, p.rightDelay),
      ondulaGraph (p),
      globalView (p.mappingFunctions, p.commandLine),
      consoleStrip (p.commandLine),
      presetStrip (p.presetManager, p.commandLine)
{
    // Every user edit reaches the host: as a parameter change, or else as a changed state.
    for (auto* panel : { &filterView.frequencyPanel, &filterView.bandwidthPanel, &filterView.amplitudePanel, &filterView.panPanel })
        panel->stateNotifier = &stateNotifier;
    for (auto* panel : { &ondulaView.frequencyPanel, &ondulaView.bandwidthPanel, &ondulaView.amplitudePanel,
                         &ondulaView.panPanel, &ondulaView.delayPanel })
        panel->stateNotifier = &stateNotifier;
    globalView.timePanel.stateNotifier = &stateNotifier;
    globalView.dynamicsPanel.stateNotifier = &stateNotifier;
    globalView.ondulaPanel.stateNotifier = &stateNotifier;
    delayView.patternPanel.stateNotifier = &stateNotifier;
    presetStrip.stateNotifier = &stateNotifier;

    // The Ondula graph's owner runs its clock; the filter graph starts its own.
    ondulaGraph.startTimer (33);

    setSize (editorWidth, editorHeight);

    if (auto automation = stateTree.getChildWithName ("automation"); automation.isValid())
    {
        filterView.frequencyPanel.setValueTree (automation.getChildWithName ("automation_frequency"));
        filterView.bandwidthPanel.setValueTree (automation.getChildWithName ("automation_bandwidth"));
        filterView.amplitudePanel.setValueTree (automation.getChildWithName ("automation_amplitude"));
        filterView.panPanel.setValueTree (automation.getChildWithName ("automation_pan"));
        addAndMakeVisible (filterView);
    }

    if (auto delay = stateTree.getChildWithName ("delay"); delay.isValid())
    {
        delayView.patternPanel.setValueTree (delay.getChildWithName ("delay_pattern"));
        delayView.patternPanel.setValueTree (delay.getChildWithName ("delay_globals_time"));
        addAndMakeVisible (delayView);

        globalView.timePanel.setValueTree (delay.getChildWithName ("delay_globals_time"));
        globalView.dynamicsPanel.setValueTree (delay.getChildWithName ("delay_globals_dynamics"));
        globalView.ondulaPanel.setValueTree (delay.getChildWithName ("delay_globals_ondula"));
        addAndMakeVisible (globalView);
    }

    if (auto ondula = stateTree.getChildWithName ("ondula"); ondula.isValid())
    {
        ondulaView.frequencyPanel.setValueTree (ondula.getChildWithName ("ondula_frequency"));
        ondulaView.bandwidthPanel.setValueTree (ondula.getChildWithName ("ondula_bandwidth"));
        ondulaView.amplitudePanel.setValueTree (ondula.getChildWithName ("ondula_amplitude"));
        ondulaView.panPanel.setValueTree (ondula.getChildWithName ("ondula_pan"));
        ondulaView.delayPanel.setValueTree (ondula.getChildWithName ("ondula_delay"));
        addAndMakeVisible (ondulaView);
    }

    // The filter graph follows the engine's records alone: it binds no node.
    addAndMakeVisible (filterGraph);

    addAndMakeVisible (ondulaGraph);
    ondulaGraph.setValueTree (stateTree);

    // A preset is merged exactly as the host's saved state is.
    presetStrip.loadState = [&p] (const juce::XmlElement& xml) { p.mergeLoadedState (&xml); };
    presetStrip.takeHostValues = [&p] { p.takePendingHostValues(); };

    // The displays draw what plays, host values included.
    globalView.dynamicsPanel.compressorDisplay.followPlayed ([&p]
    {
        return DynamicRangeCompressorComponent::Curve { p.leftCompressor.thresholdDb.playedNow(), p.leftCompressor.slope.playedNow() };
    });
    delayView.patternPanel.followPlayedGrid ([&p] { return (int) p.leftDelay.playedHostSetting (OndulaDelay::patternMode) != 0; });

    addAndMakeVisible (consoleStrip);
    addAndMakeVisible (presetStrip);

    // The bindings above re-announced every property they show; only from here on may a tree
    // change reach the host.
    p.setPushToParameterEnabled (true);
    // A panel repairs a mode that no button can show while the direction is off; the host hears that
    // change now. Nothing else is written while the editor is built, so nothing else is sent.
    p.sendChangesMadeWhileQuiet();
}

OndulaDelayAudioProcessorEditor::~OndulaDelayAudioProcessorEditor() = default;

void OndulaDelayAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
}

void OndulaDelayAudioProcessorEditor::paintOverChildren (juce::Graphics& g)
{
    const auto w = (float) getWidth();

    const auto line = [&g] (juce::Colour colour, float x1, float y1, float x2, float y2)
    {
        g.setColour (colour);
        g.drawLine (x1, y1, x2, y2, 2.0f);
    };

    line (lookAndFeel.c4, 5.0f, 60.0f, w - 5.0f, 60.0f);
    line (lookAndFeel.c4, 5.0f, 630.0f, w - 5.0f, 630.0f);
    line (lookAndFeel.c4, 805.0f, 440.0f, w - 5.0f, 440.0f);
    line (lookAndFeel.c4, 805.0f, 250.0f, w - 5.0f, 250.0f);
    line (lookAndFeel.c1, 400.0f, 65.0f, 400.0f, 435.0f);
    line (lookAndFeel.c4, 5.0f, 440.0f, 795.0f, 440.0f);
    line (lookAndFeel.c5, 800.0f, 445.0f, 800.0f, 625.0f);
    line (lookAndFeel.c5, 800.0f, 65.0f, 800.0f, 435.0f);

    g.setColour (lookAndFeel.c3);
    g.setFont (LookAndFeel_KT::getRobotoRegular (24.0f));
    g.drawText ("Ondula Delay Free", juce::Rectangle<int> (12, 0, 400, 60), juce::Justification::left, false);
    g.setFont (LookAndFeel_KT::getRobotoMedium (24.0f));
    g.drawText ("Kelvatone Audio", juce::Rectangle<int> (getWidth() - 212, 0, 200, 60), juce::Justification::right, false);
}

void OndulaDelayAudioProcessorEditor::resized()
{
    const int w = getWidth();

    filterView.setBounds (800, 60, w - 800, 190);
    ondulaView.setBounds (800, 250, w - 800, 190);
    globalView.setBounds (800, 440, w - 800, 190);
    delayView.setBounds (0, 440, w, 190);
    filterGraph.setBounds (0, 60, 400, 380);
    ondulaGraph.setBounds (400, 60, 400, 380);
    consoleStrip.setBounds (0, 630, w, 30);
    presetStrip.setBounds (w / 3, 0, w / 3, 60);
}
