#include <gtest/gtest.h>

#include "../../panels/FilterViewComponent.h"
#include "../support/FaderText.h"
#include "../support/TreeComparison.h"
#include "../support/MessagePump.h"
#include "../support/PanelProbe.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    struct Page
    {
        explicit Page (int height = 190)
        {
            page.setSize (550, height);
            const char* types[] = { "automation_frequency", "automation_bandwidth", "automation_amplitude", "automation_pan" };
            for (int i = 0; i < 4; ++i)
                panels[i]->setValueTree (PanelProbe::node (root, types[i]));
        }

        juce::TabBarButton& tab (int i) { return *page.tabs.getTabbedButtonBar().getTabButton (i); }

        void clickTab (int i)
        {
            SyntheticMouse::click (tab (i), tab (i).getLocalBounds().getCentre().toFloat());
        }

        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        juce::ValueTree root = PanelProbe::defaultTree();
        FilterViewComponent page { mappings, console };
        FilterParametersComponent* panels[4] { &page.frequencyPanel, &page.bandwidthPanel, &page.amplitudePanel, &page.panPanel };
    };

    int brightest (const juce::Image& image, juce::Rectangle<int> area)
    {
        int level = 0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                level = juce::jmax (level, (int) image.getPixelAt (x, y).getRed());
        return level;
    }
}

TEST (FilterViewComponent, FourThirtyPixelTabsFillACentredBarAndPanelsGetTheRest)
{
    struct Case { int height; juce::Rectangle<int> bar; };
    for (const auto& c : { Case { 190, { 0, 22, 50, 120 } }, Case { 191, { 0, 23, 50, 120 } } })
    {
        Page p (c.height);
        EXPECT_EQ (p.page.tabs.getBounds(), juce::Rectangle<int> (0, 25, 550, c.height - 25));
        EXPECT_EQ (p.page.tabs.getTabbedButtonBar().getBounds(), c.bar);

        // The framework overlaps neighbouring tabs by one pixel.
        const char* names[] = { "Freq", "BW", "Ampl", "Pan" };
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ (p.tab (i).getBounds(), juce::Rectangle<int> (0, 30 * i, 50, 29));
            EXPECT_EQ (p.tab (i).getButtonText(), names[i]);
        }
    }

    Page p;
    EXPECT_EQ (p.page.frequencyPanel.getBounds(), juce::Rectangle<int> (55, 5, 490, 155));
    EXPECT_EQ (p.page.panPanel.getBounds(), juce::Rectangle<int> (55, 5, 490, 155));
    EXPECT_EQ (p.page.frequencyPanel.curveEditor.getBounds(), juce::Rectangle<int> (165, 30, 310, 95));
    EXPECT_EQ (p.page.frequencyPanel.centerSlider.getBounds(), juce::Rectangle<int> (15, 20, 50, 130));
    EXPECT_EQ (p.page.frequencyPanel.amountSlider.getBounds(), juce::Rectangle<int> (90, 20, 50, 130));
}

TEST (FilterViewComponent, TabsShowTheirPanelsAndOnlyPanIsBipolar)
{
    Page p;
    EXPECT_TRUE (p.page.frequencyPanel.isVisible());
    EXPECT_FALSE (p.page.panPanel.isVisible());

    p.clickTab (3);
    EXPECT_EQ (p.page.tabs.getCurrentTabIndex(), 3);
    EXPECT_TRUE (p.page.panPanel.isVisible());
    EXPECT_FALSE (p.page.frequencyPanel.isVisible());

    for (int i = 0; i < 4; ++i)
        EXPECT_EQ (p.panels[i]->curveEditor.bipolar, i == 3);

    // The pan curve's preview centres on "Center"; a right-clicked point goes to the middle.
    auto& editor = p.page.panPanel.curveEditor;
    const auto firstPoint = juce::Point<float> (0.0f, 0.0f).transformedBy (editor.viewTransform);
    SyntheticMouse::hoverAndRightClick (editor, firstPoint);
    EXPECT_EQ (PanelProbe::node (p.root, "automation_pan")["curve"].toString(), "0 0.5 0\n1 0 0\n");
}

TEST (FilterViewComponent, EachPanelWritesOnlyItsOwnNode)
{
    Page p;
    const auto before = p.root.createCopy();
    p.clickTab (1);

    auto& fader = p.page.bandwidthPanel.centerSlider;
    fader.mouseDoubleClick (SyntheticMouse::event (fader, { 25.0f, 60.0f }, SyntheticMouse::left, 2));

    for (const auto* type : { "automation_frequency", "automation_amplitude", "automation_pan" })
        EXPECT_EQ (TreeComparison::differences (PanelProbe::node (before, type), PanelProbe::node (p.root, type)), std::vector<std::string>{}) << type;
    EXPECT_TRUE (PanelProbe::node (p.root, "automation_bandwidth")["value"].equalsWithSameType (0.5));
}

TEST (FilterViewComponent, OpeningAndClickingThroughTheTabsWritesNothing)
{
    Page p (190);
    auto root = PanelProbe::defaultTree();
    auto frequency = PanelProbe::node (root, "automation_frequency");
    frequency.setProperty ("value", 0.123456, nullptr);
    frequency.setProperty ("scale_y", -3.0, nullptr);
    PanelProbe::node (root, "automation_pan").setProperty ("value", 1, nullptr); // an int
    const auto loaded = root.createCopy();

    const char* types[] = { "automation_frequency", "automation_bandwidth", "automation_amplitude", "automation_pan" };
    for (int i = 0; i < 4; ++i)
        p.panels[i]->setValueTree (PanelProbe::node (root, types[i]));

    PanelProbe::Announcements heard (root);
    MessagePump::run (50);
    for (int i : { 1, 2, 3, 0 })
    {
        p.clickTab (i);
        MessagePump::run (20);
    }

    EXPECT_EQ (heard.total, 0);
    EXPECT_EQ (TreeComparison::differences (loaded, root), std::vector<std::string>{});
    EXPECT_EQ (FaderText::shown (p.page.frequencyPanel.centerSlider), "12%");
    EXPECT_EQ (FaderText::shown (p.page.frequencyPanel.amountSlider), "-100%");
}

TEST (FilterViewComponent, SnapshotShowsTitleTabsLabelsFadersAndTheFrequencyCurve)
{
    Page p;
    const auto image = p.page.createComponentSnapshot (p.page.getLocalBounds(), true, 1.0f);
    const LookAndFeel_KT lf;
    const auto at = [&] (int x, int y) { return image.getPixelAt (x, y); };

    EXPECT_GT (PixelProbe::countInk (image, { 8, 5, 100, 23 }, lf.c0), 40) << "the title";
    EXPECT_TRUE (PixelProbe::filled (image, { 120, 0, 430, 25 }, lf.c0));

    // Tab bar at (0, 47) in the page: "Freq" in front in white, the others grey.
    EXPECT_EQ (brightest (image, { 0, 47, 50, 29 }), 0xff);
    EXPECT_NEAR (brightest (image, { 0, 77, 50, 29 }), 0x80, 2);

    // The panel sits at (55, 30) and its curve editor at (220, 60).
    EXPECT_GT (PixelProbe::countNear (image, { 70, 35, 50, 20 }, lf.c12, 100), 15) << "label \"Center\"";
    EXPECT_GT (PixelProbe::countNear (image, { 145, 35, 50, 20 }, lf.c12, 100), 15) << "label \"Amount\"";
    EXPECT_GT (PixelProbe::countNear (image, { 70, 50, 50, 110 }, lf.c12), 100) << "the \"Center\" fader";

    EXPECT_TRUE (PixelProbe::near (at (227, 62), lf.c12)) << "top-left bracket";
    EXPECT_TRUE (PixelProbe::near (at (222, 67), lf.c12));
    EXPECT_TRUE (PixelProbe::near (at (470, 115), lf.c2)) << "the band from Center 20% up by Amount 30%";
    EXPECT_TRUE (PixelProbe::near (at (470, 100), lf.c0)) << "above the band";
    EXPECT_TRUE (PixelProbe::near (at (370, 129), lf.c5)) << "the offset line at 20%";
    EXPECT_TRUE (PixelProbe::near (at (230, 70), lf.c12)) << "the first point at (0, 1)";
    EXPECT_TRUE (PixelProbe::near (at (520, 145), lf.c12)) << "the last point at (1, 0)";
}
