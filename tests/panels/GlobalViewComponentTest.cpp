#include <gtest/gtest.h>

#include "../../panels/GlobalViewComponent.h"
#include "../support/MessagePump.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    struct Page
    {
        explicit Page (int height = 190) { page.setBounds (0, 0, 550, height); }

        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        GlobalViewComponent page { mappings, console };
    };
}

TEST (GlobalViewComponent, TabsStandWhereTheFrameworkPutsThirtyPixelTabsInACentredBar)
{
    struct Case { int height; juce::Rectangle<int> bar; };
    const Case cases[] = { { 190, { 0, 22, 50, 120 } }, { 191, { 0, 23, 50, 120 } }, { 100, { 0, -23, 50, 120 } } };

    for (const auto& c : cases)
    {
        Page p (c.height);
        auto& bar = p.page.tabs.getTabbedButtonBar();
        EXPECT_EQ (p.page.tabs.getBounds(), juce::Rectangle<int> (0, 25, 550, c.height - 25));
        EXPECT_EQ (bar.getBounds(), c.bar) << c.height;

        // The look-and-feel's tab overlap of -1 puts the tabs a pixel apart.
        const char* names[] = { "Taps", "Levels", "Ondula" };
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_EQ (bar.getTabButton (i)->getBounds(), juce::Rectangle<int> (0, 31 * i, 50, 30)) << names[i];
            EXPECT_EQ (bar.getTabButton (i)->getButtonText(), names[i]);
        }
    }
}

TEST (GlobalViewComponent, OpensOnTapsAndEachTabShowsItsPanelInTheContentArea)
{
    Page p;
    auto& tabs = p.page.tabs;
    juce::Component* panels[] = { &p.page.timePanel, &p.page.dynamicsPanel, &p.page.ondulaPanel };

    EXPECT_EQ (tabs.getCurrentTabIndex(), 0);

    for (const int index : { 1, 2, 0 })
    {
        ASSERT_TRUE (SyntheticMouse::clickButton (*tabs.getTabbedButtonBar().getTabButton (index)));
        EXPECT_EQ (tabs.getCurrentTabIndex(), index);

        for (int i = 0; i < 3; ++i)
        {
            EXPECT_EQ (panels[i]->isVisible(), i == index) << i;
            EXPECT_EQ (panels[i]->getBounds(), juce::Rectangle<int> (55, 5, 490, 155)) << i;
        }
    }
}

TEST (GlobalViewComponent, HiddenPanelsKeepFollowingTheirNodes)
{
    Page p;
    juce::ValueTree dynamics ("delay_globals_dynamics"), ondula ("delay_globals_ondula");
    p.page.dynamicsPanel.setValueTree (dynamics);
    p.page.ondulaPanel.setValueTree (ondula);

    dynamics.setProperty ("wet", 0.25, nullptr);
    ondula.setProperty ("amount", 0.75, nullptr);

    EXPECT_EQ (p.page.dynamicsPanel.wetSlider.getValue(), 0.25);
    EXPECT_EQ (p.page.ondulaPanel.amountSlider.getValue(), 0.75);
}

TEST (GlobalViewComponent, SnapshotShowsTitleTabsAndTheTimePanel)
{
    Page p;
    const auto image = p.page.createComponentSnapshot (p.page.getLocalBounds(), true, 1.0f);
    const auto& lf = p.page.lookAndFeel;

    EXPECT_GT (PixelProbe::countNear (image, { 8, 5, 100, 23 }, lf.c3, 10), 30) << "title";
    EXPECT_EQ (PixelProbe::countInk (image, { 108, 0, 400, 24 }, lf.c0), 0) << "nothing else above the tabs";
    // The front tab's name is white, the others grey.
    EXPECT_GT (PixelProbe::countNear (image, { 0, 47, 50, 30 }, lf.c12, 60), 20) << "Taps";
    EXPECT_EQ (PixelProbe::countNear (image, { 0, 78, 50, 30 }, lf.c12, 60), 0) << "Levels";
    EXPECT_GT (PixelProbe::countNear (image, { 0, 78, 50, 30 }, lf.c4, 60), 10) << "Levels";
    // The time panel's labels stand at (55, 30) from the page's corner.
    EXPECT_GT (PixelProbe::countNear (image, { 55 - 10, 30 + 5, 100, 20 }, lf.c12, 60), 10) << "Time";
}
