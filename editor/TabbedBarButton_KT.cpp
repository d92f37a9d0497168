#include "TabbedBarButton_KT.h"

TabbedBarButton_KT::TabbedBarButton_KT (const juce::String& name, juce::TabbedButtonBar& bar, int length)
    : juce::TabBarButton (name, bar), bestLength (length)
{
}

void TabbedBarButton_KT::resized() {}

void TabbedBarButton_KT::paintButton (juce::Graphics& g, bool isMouseOver, bool)
{
    const bool front = isFrontTab();
    const bool highlighted = isMouseOver || isMouseButtonDown();

    g.fillAll (lookAndFeel.c0);
    g.setColour (highlighted || front ? lookAndFeel.c12 : lookAndFeel.c4);

    auto font = LookAndFeel_KT::getRobotoRegular (16.0f);
    font.setUnderline (front);
    g.setFont (font);
    g.drawText (getName(), getLocalBounds().toFloat(), juce::Justification::centred, true);
}

int TabbedBarButton_KT::getBestTabLength (int)
{
    return bestLength;
}
