#include "FilterViewComponent.h"

FilterViewComponent::FilterViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions),
      frequencyPanel (mappingFunctions, console),
      bandwidthPanel (mappingFunctions, console),
      amplitudePanel (mappingFunctions, console),
      panPanel (mappingFunctions, console)
{
    tabs.barBounds = { 0, getHeight() / 2 - 45, 50, 90 };
    tabs.resized();
    // Every tab button copies the length when it is created.
    tabs.tabLength = 30;

    tabs.addTab ("Freq", juce::Colours::black, &frequencyPanel, false);
    tabs.addTab ("BW", juce::Colours::black, &bandwidthPanel, false);
    tabs.addTab ("Ampl", juce::Colours::black, &amplitudePanel, false);
    tabs.addTab ("Pan", juce::Colours::black, &panPanel, false);
    addAndMakeVisible (tabs);

    for (auto* panel : { &frequencyPanel, &bandwidthPanel, &amplitudePanel, &panPanel })
        panel->onChange = [] {};

    // A pan curve spreads the taps around the centre rather than above it.
    panPanel.curveEditor.bipolar = true;
    panPanel.curveEditor.repaint();
}

void FilterViewComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c3);
    g.setFont (LookAndFeel_KT::getRobotoRegular (20.0f));
    g.drawText (title, juce::Rectangle<float> (8.0f, 5.0f, 100.0f, 23.0f), juce::Justification::topLeft, true);
}

void FilterViewComponent::resized()
{
    // A 120-px bar centred in the container, exactly four 30-px tabs long.
    tabs.barBounds = { 0, (getHeight() - 25) / 2 - 60, 50, 120 };
    tabs.resized();
    tabs.setBounds (0, 25, getWidth(), getHeight() - 25);
}
