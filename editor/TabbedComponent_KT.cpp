#include "TabbedComponent_KT.h"

#include "TabbedBarButton_KT.h"

TabbedComponent_KT::TabbedComponent_KT (juce::TabbedButtonBar::Orientation orientation)
    : juce::TabbedComponent (orientation)
{
    barBounds = orientation == juce::TabbedButtonBar::TabsAtTop ? juce::Rectangle<int> (0, 0, 200, 30)
                                                                 : juce::Rectangle<int> (0, 0, 30, 200);
    getTabbedButtonBar().setLookAndFeel (&lookAndFeel);
}

TabbedComponent_KT::~TabbedComponent_KT()
{
    // The bar belongs to the base and outlives our look-and-feel member.
    getTabbedButtonBar().setLookAndFeel (nullptr);
}

void TabbedComponent_KT::paint (juce::Graphics& g)
{
    if (getOrientation() != juce::TabbedButtonBar::TabsAtLeft)
        return;

    g.setColour (lookAndFeel.c0);
    g.fillRect (barBounds.getX() - 4, barBounds.getY(),
                juce::jmax (0, barBounds.getWidth() + 8), juce::jmax (0, barBounds.getHeight()));
}

void TabbedComponent_KT::resized()
{
    auto& bar = getTabbedButtonBar();
    bar.setBounds (barBounds);
    bar.toFront (false);

    const int w = getWidth();
    const int h = getHeight();
    const auto content = getOrientation() == juce::TabbedButtonBar::TabsAtTop
        ? juce::Rectangle<int> (margin, barBounds.getHeight() + margin,
                                w - 2 * margin, h - barBounds.getHeight() - 2 * margin)
        : juce::Rectangle<int> (barBounds.getWidth() + margin, margin,
                                w - barBounds.getWidth() - 2 * margin, h - 2 * margin);

    for (int i = 0; i < getNumTabs(); ++i)
        if (auto* component = getTabContentComponent (i))
            component->setBounds (content.withWidth (juce::jmax (0, content.getWidth()))
                                         .withHeight (juce::jmax (0, content.getHeight())));

    repaint();
}

juce::TabBarButton* TabbedComponent_KT::createTabButton (const juce::String& tabName, int)
{
    return new TabbedBarButton_KT (tabName, getTabbedButtonBar(), tabLength);
}
