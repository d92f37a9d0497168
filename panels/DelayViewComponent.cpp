#include "DelayViewComponent.h"

DelayViewComponent::DelayViewComponent()
{
    addAndMakeVisible (patternPanel);
}

void DelayViewComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c3);
    g.setFont (LookAndFeel_KT::getRobotoRegular (20.0f));
    g.drawText (title, juce::Rectangle<int> (8, 5, 100, 23), juce::Justification::topLeft, true);
}

void DelayViewComponent::resized()
{
    patternPanel.setBounds (getLocalBounds());
}
