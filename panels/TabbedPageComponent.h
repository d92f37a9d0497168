#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/LookAndFeel_KT.h"
#include "../editor/TabbedComponent_KT.h"

#include <string>

/** The frame the three tabbed pages share: background, title at the top left, and a tab container
    below the title with a 120-px bar of 30-px tabs centred at its left. The panels belong to the
    page that derives from it; the container only shows them. */
class TabbedPageComponent : public juce::Component
{
public:
    explicit TabbedPageComponent (std::string pageTitle);

    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    // Holds weak references to the panels, so the deriving page's panels may go first.
    TabbedComponent_KT tabs { juce::TabbedButtonBar::TabsAtLeft };
    std::string title;

protected:
    /** Adds one panel behind a tab, in tab order. */
    void addPanel (const juce::String& tabName, juce::Component& panel);

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TabbedPageComponent)
};
