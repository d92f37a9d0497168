#include "TabbedPageComponent.h"

TabbedPageComponent::TabbedPageComponent (std::string pageTitle)
    : title (std::move (pageTitle))
{
    // Replaced by resized before the page is shown.
    tabs.barBounds = { 0, getHeight() / 2 - 45, 50, 90 };
    tabs.resized();
    // Every tab button copies the length when it is created.
    tabs.tabLength = 30;
    addAndMakeVisible (tabs);
}

void TabbedPageComponent::addPanel (const juce::String& tabName, juce::Component& panel)
{
    tabs.addTab (tabName, juce::Colours::black, &panel, false);
}

void TabbedPageComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c3);
    g.setFont (LookAndFeel_KT::getRobotoRegular (20.0f));
    g.drawText (title, juce::Rectangle<float> (8.0f, 5.0f, 100.0f, 23.0f), juce::Justification::topLeft, true);
}

void TabbedPageComponent::resized()
{
    // Four or more 30-px tabs do not fit the 120-px bar; the framework's bar scales them down.
    tabs.barBounds = { 0, (getHeight() - 25) / 2 - 60, 50, 120 };
    // Called directly: the bar must move even when the container keeps its size.
    tabs.resized();
    tabs.setBounds (0, 25, getWidth(), getHeight() - 25);
}
