#include "GlobalViewComponent.h"

GlobalViewComponent::GlobalViewComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions),
      dynamicsPanel (mappingFunctions),
      ondulaPanel (mappingFunctions, console),
      timePanel (mappingFunctions, console)
{
    // Replaced by resized before the page is shown.
    tabs.barBounds = { 0, getHeight() / 2 - 45, 50, 90 };
    tabs.resized();

    // Each tab button copies the length when it is created.
    tabs.tabLength = 30;
    tabs.addTab ("Taps", juce::Colours::black, &timePanel, false);
    tabs.addTab ("Levels", juce::Colours::black, &dynamicsPanel, false);
    tabs.addTab ("Ondula", juce::Colours::black, &ondulaPanel, false);

    addAndMakeVisible (tabs);
}

void GlobalViewComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c3);
    g.setFont (juce::Font (LookAndFeel_KT::getRobotoRegular (20.0f)));
    g.drawText (juce::String (title), juce::Rectangle<float> (8.0f, 5.0f, 100.0f, 23.0f), juce::Justification::topLeft, true);
}

void GlobalViewComponent::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    tabs.barBounds = { 0, (h - 25) / 2 - 60, 50, 120 };
    // Called directly: the bar must move even when the container keeps its size.
    tabs.resized();
    tabs.setBounds (0, 25, w, h - 25);
}
