#include <gtest/gtest.h>

#include "../../panels/OndulaViewComponent.h"
#include "../support/TreeComparison.h"
#include "../support/MessagePump.h"
#include "../support/PanelProbe.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    struct Page
    {
        Page()
        {
            page.setSize (550, 190);
            const char* types[] = { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" };
            for (int i = 0; i < 5; ++i)
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
        OndulaViewComponent page { mappings, console };
        OndulaParametersComponent* panels[5] { &page.frequencyPanel, &page.bandwidthPanel, &page.amplitudePanel, &page.panPanel, &page.delayPanel };
    };
}

TEST (OndulaViewComponent, FiveTabsAreScaledIntoTheBarAndAllStayVisible)
{
    Page p;
    EXPECT_EQ (p.page.tabs.getTabbedButtonBar().getBounds(), juce::Rectangle<int> (0, 22, 50, 120));

    // 5 x 30 px with the 1-px overlap need 155 px: the bar scales each tab to 23 px, 24 apart.
    const char* names[] = { "Freq", "BW", "Ampl", "Pan", "Time" };
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ (p.tab (i).getBounds(), juce::Rectangle<int> (0, 24 * i, 50, 23));
        EXPECT_TRUE (p.tab (i).isVisible());
        EXPECT_EQ (p.tab (i).getButtonText(), names[i]);
    }
    EXPECT_EQ (p.page.delayPanel.getBounds(), juce::Rectangle<int> (55, 5, 490, 155));
}

TEST (OndulaViewComponent, ClickingTimeShowsTheDelayPanelAndEditsOnlyItsNode)
{
    Page p;
    EXPECT_TRUE (p.page.frequencyPanel.isVisible());
    const auto before = p.root.createCopy();

    p.clickTab (4);
    EXPECT_TRUE (p.page.delayPanel.isVisible());
    EXPECT_FALSE (p.page.frequencyPanel.isVisible());

    auto& fader = p.page.delayPanel.phaseSlider;
    fader.mouseDown (SyntheticMouse::event (fader, { 25.0f, -20.0f }, SyntheticMouse::left));
    EXPECT_TRUE (PanelProbe::node (p.root, "ondula_delay")["phase"].equalsWithSameType (1.0));

    for (const auto* type : { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan" })
        EXPECT_EQ (TreeComparison::differences (PanelProbe::node (before, type), PanelProbe::node (p.root, type)), std::vector<std::string>{}) << type;
}

TEST (OndulaViewComponent, OpeningAndClickingThroughTheTabsWritesNothing)
{
    Page p;
    auto root = PanelProbe::defaultTree();
    PanelProbe::node (root, "ondula_frequency").setProperty ("scale", 0.123456, nullptr);
    PanelProbe::node (root, "ondula_bandwidth").setProperty ("phase", 1.5, nullptr);
    PanelProbe::node (root, "ondula_pan").setProperty ("scale", 1, nullptr);
    const auto loaded = root.createCopy();

    const char* types[] = { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" };
    for (int i = 0; i < 5; ++i)
        p.panels[i]->setValueTree (PanelProbe::node (root, types[i]));

    PanelProbe::Announcements heard (root);
    MessagePump::run (50);
    for (int i : { 1, 2, 3, 4, 0 })
    {
        p.clickTab (i);
        MessagePump::run (20);
    }

    EXPECT_EQ (heard.total, 0);
    EXPECT_EQ (TreeComparison::differences (loaded, root), std::vector<std::string>{});
}

TEST (OndulaViewComponent, SnapshotShowsTitleTabsLabelsAndTheFrequencyCurve)
{
    Page p;
    const auto image = p.page.createComponentSnapshot (p.page.getLocalBounds(), true, 1.0f);
    const LookAndFeel_KT lf;
    const auto at = [&] (int x, int y) { return image.getPixelAt (x, y); };

    EXPECT_GT (PixelProbe::countInk (image, { 8, 5, 100, 23 }, lf.c0), 30) << "the title";
    EXPECT_TRUE (PixelProbe::filled (image, { 120, 0, 430, 25 }, lf.c0));

    EXPECT_GT (PixelProbe::countNear (image, { 70, 35, 50, 20 }, lf.c12, 100), 15) << "label \"Amount\"";
    EXPECT_GT (PixelProbe::countNear (image, { 145, 35, 50, 20 }, lf.c12, 100), 15) << "label \"Phase\"";

    // Curve editor at (220, 60): the one point (0, 0.5) and the band from 0 up to the depth 25%.
    EXPECT_TRUE (PixelProbe::near (at (230, 107), lf.c12)) << "the point";
    EXPECT_TRUE (PixelProbe::near (at (370, 135), lf.c2)) << "inside the band";
    EXPECT_TRUE (PixelProbe::near (at (370, 120), lf.c0)) << "above the band";
    EXPECT_TRUE (PixelProbe::near (at (370, 144), lf.c5)) << "the offset line at 0";
    EXPECT_TRUE (PixelProbe::near (at (527, 62), lf.c12)) << "top-right bracket";
}
