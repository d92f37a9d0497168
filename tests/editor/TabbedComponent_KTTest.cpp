#include <gtest/gtest.h>

#include "../../editor/TabbedBarButton_KT.h"
#include "../../editor/TabbedComponent_KT.h"
#include "../support/PixelProbe.h"

namespace
{
    struct Page
    {
        TabbedComponent_KT tabs { juce::TabbedButtonBar::TabsAtLeft };
        juce::Component first, second, third;

        Page()
        {
            tabs.setSize (300, 190);
            tabs.barBounds = { 0, 5, 50, 120 };
        }
    };

    TabbedBarButton_KT& button (TabbedComponent_KT& tabs, int index)
    {
        return *dynamic_cast<TabbedBarButton_KT*> (tabs.getTabbedButtonBar().getTabButton (index));
    }
}

TEST (TabbedComponent_KT, EachTabKeepsTheLengthInForceWhenItWasAdded)
{
    Page page;
    page.tabs.addTab ("Freq", juce::Colours::black, &page.first, false);
    page.tabs.tabLength = 30;
    page.tabs.addTab ("BW", juce::Colours::black, &page.second, false);

    EXPECT_EQ (button (page.tabs, 0).getBestTabLength (99), 50);
    EXPECT_EQ (button (page.tabs, 1).getBestTabLength (99), 30);
    EXPECT_EQ (button (page.tabs, 1).getButtonText(), "BW");
}

TEST (TabbedComponent_KT, LayoutPlacesTheBarAndGivesEveryTabTheRestInsideTheMargin)
{
    struct Case { juce::TabbedButtonBar::Orientation orientation; juce::Rectangle<int> bar; juce::Rectangle<int> size; juce::Rectangle<int> content; };
    const Case cases[] = {
        { juce::TabbedButtonBar::TabsAtLeft, { 0, 5, 50, 120 }, { 0, 0, 300, 190 }, { 55, 5, 240, 180 } },
        { juce::TabbedButtonBar::TabsAtTop, { 20, 0, 200, 30 }, { 0, 0, 300, 190 }, { 5, 35, 290, 150 } },
        { juce::TabbedButtonBar::TabsAtLeft, { 0, 0, 50, 120 }, { 0, 0, 40, 190 }, { 55, 5, 0, 180 } },
    };

    for (const auto& c : cases)
    {
        TabbedComponent_KT tabs (c.orientation);
        juce::Component first, second;
        tabs.addTab ("A", juce::Colours::black, &first, false);
        tabs.addTab ("B", juce::Colours::black, &second, false);
        tabs.barBounds = c.bar;
        tabs.setBounds (c.size);

        EXPECT_EQ (tabs.getTabbedButtonBar().getBounds(), c.bar);
        EXPECT_EQ (first.getBounds(), c.content) << "the current tab";
        EXPECT_EQ (second.getBounds(), c.content) << "a tab in the back";
    }
}

TEST (TabbedComponent_KT, SideBarGetsABackgroundWiderByFourPixelsAndATopBarNone)
{
    for (auto orientation : { juce::TabbedButtonBar::TabsAtLeft, juce::TabbedButtonBar::TabsAtTop })
    {
        TabbedComponent_KT tabs (orientation);
        tabs.barBounds = { 10, 5, 50, 120 };
        tabs.setSize (300, 190);

        auto image = PixelProbe::blank (300, 190, juce::Colours::magenta);
        {
            juce::Graphics g (image);
            tabs.paint (g);
        }

        const auto painted = PixelProbe::countNear (image, image.getBounds(), tabs.lookAndFeel.c0);
        if (orientation == juce::TabbedButtonBar::TabsAtLeft)
        {
            EXPECT_EQ (painted, 58 * 120);
            EXPECT_TRUE (PixelProbe::filled (image, { 6, 5, 58, 120 }, tabs.lookAndFeel.c0));
        }
        else
        {
            EXPECT_EQ (painted, 0);
        }
    }
}

TEST (TabbedBarButton_KT, FrontTabIsWhiteAndUnderlinedAndBackTabsGreyUntilHovered)
{
    Page page;
    page.tabs.addTab ("Freq", juce::Colours::black, &page.first, false);
    page.tabs.addTab ("BW", juce::Colours::black, &page.second, false);
    page.tabs.setCurrentTabIndex (0);

    const auto render = [] (TabbedBarButton_KT& b, bool hover)
    {
        b.setSize (50, 30);
        auto image = PixelProbe::blank (50, 30);
        juce::Graphics g (image);
        b.paintButton (g, hover, false);
        return image;
    };

    auto& front = button (page.tabs, 0);
    auto& back = button (page.tabs, 1);

    // Anti-aliased edges pass through every grey, so compare the brightest ink.
    const auto brightest = [] (const juce::Image& image)
    {
        juce::uint8 level = 0;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                level = juce::jmax (level, image.getPixelAt (x, y).getRed());
        return (int) level;
    };

    EXPECT_EQ (brightest (render (front, false)), 0xff);
    EXPECT_NEAR (brightest (render (back, false)), 0x80, 2);
    EXPECT_EQ (brightest (render (back, true)), 0xff);

    // The underline adds a line of ink under the same name drawn in the same white.
    const auto ink = [] (const juce::Image& image)
    {
        int total = 0;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                total += image.getPixelAt (x, y).getRed() - 0x14;
        return total;
    };
    const auto hoveredBack = render (back, true);
    page.tabs.setCurrentTabIndex (1);
    const auto nowFront = render (back, false);
    EXPECT_GT (ink (nowFront), ink (hoveredBack) + 8 * 0xeb);
}
