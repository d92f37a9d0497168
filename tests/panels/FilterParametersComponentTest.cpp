#include <gtest/gtest.h>

#include "../../panels/FilterParametersComponent.h"
#include "../support/FaderText.h"
#include "../support/TreeComparison.h"
#include "../support/MessagePump.h"
#include "../support/PanelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    struct Panel
    {
        explicit Panel (const char* type)
        {
            panel.setSize (490, 155);
            panel.onChange = [this] { ++changes; };
            if (type != nullptr)
                panel.setValueTree (PanelProbe::node (root, type));
        }

        juce::ValueTree node() { return panel.valueTree; }
        QuorlStyleCurveEditor& editor() { return panel.curveEditor; }
        juce::Point<float> curvePx (float x, float y) { return juce::Point<float> (x, y).transformedBy (editor().viewTransform); }

        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        juce::ValueTree root = PanelProbe::defaultTree();
        FilterParametersComponent panel { mappings, console };
        int changes = 0;
    };

    using namespace SyntheticMouse;

    // A press beyond the top or bottom end of a fader's track moves it to that end.
    void pressFaderEnd (juce::Slider& fader, bool top)
    {
        const juce::Point<float> p ((float) fader.getWidth() / 2.0f, top ? -20.0f : (float) fader.getHeight() + 20.0f);
        fader.mouseDown (event (fader, p, left));
        fader.mouseUp (event (fader, p, left));
    }
}

TEST (FilterParametersComponent, ShowsTheNodeDefaults)
{
    struct Case { const char* type; const char* center; const char* amount; };
    const Case cases[] = {
        { "automation_frequency", "20%", "30%" },
        { "automation_bandwidth", "20%", "30%" },
        { "automation_amplitude", "0%", "100%" },
        { "automation_pan", "50%", "0%" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.type);
        Panel p (c.type);
        EXPECT_EQ (FaderText::shown (p.panel.centerSlider), c.center);
        EXPECT_EQ (FaderText::shown (p.panel.amountSlider), c.amount);
        EXPECT_EQ (p.panel.editedCurve.toString(), p.node()["curve"].toString().toStdString());
    }
}

TEST (FilterParametersComponent, ValuesFromTheTreeAreShownAndNeverWrittenBack)
{
    struct Case { const char* property; juce::var stored; const char* shown; float preview; };
    const Case cases[] = {
        { "value", 0.123456, "12%", 0.1235f },
        { "value", 1.5, "100%", 1.0f },
        { "value", "0.25", "25%", 0.25f },
        { "scale_y", -2.0, "-100%", -1.0f },
        { "scale_y", 0.300000011920929, "30%", 0.3f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.property << " = " << c.stored.toString());
        const bool isValue = juce::String (c.property) == "value";

        // Loaded before the panel binds, and changed by another party while it is bound.
        for (const bool beforeBinding : { true, false })
        {
            Panel p (nullptr);
            auto node = PanelProbe::node (p.root, "automation_frequency");
            if (beforeBinding)
                node.setProperty (c.property, c.stored, nullptr);
            const auto stored = node.createCopy();

            p.panel.setValueTree (node);
            PanelProbe::Announcements heard (node);
            if (! beforeBinding)
                node.setProperty (c.property, c.stored, nullptr);
            MessagePump::run (30);

            auto& fader = isValue ? p.panel.centerSlider : p.panel.amountSlider;
            EXPECT_EQ (FaderText::shown (fader), c.shown);
            EXPECT_EQ (heard.total, beforeBinding ? 0 : 1) << "nothing is written back";
            if (beforeBinding)
            {
                EXPECT_EQ (TreeComparison::differences (stored, node), std::vector<std::string>{});
            }
            EXPECT_TRUE (node[c.property].equalsWithSameType (c.stored));
            EXPECT_NEAR (isValue ? p.editor().previewOffset : p.editor().previewAmount, c.preview, 1e-6) << "the preview follows the fader";
        }
    }
}

TEST (FilterParametersComponent, ASmallNegativeAmountShowsMinusZero)
{
    struct Case { double amount; const char* shown; };
    const Case cases[] = { { -0.0001, "-0%" }, { -0.0049, "-0%" }, { 0.0, "0%" }, { 0.0049, "0%" }, { -0.3, "-30%" }, { 1.0, "100%" } };

    Panel p ("automation_pan");
    for (const auto& c : cases)
    {
        p.node().setProperty ("scale_y", c.amount, nullptr);
        EXPECT_EQ (FaderText::shown (p.panel.amountSlider), c.shown) << c.amount;
    }
}

TEST (FilterParametersComponent, DoubleClickReturnsAFaderToItsValueAndWritesIt)
{
    struct Case { bool center; const char* property; double expected; const char* shown; };
    const Case cases[] = { { true, "value", 0.5, "50%" }, { false, "scale_y", 0.0, "0%" } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.property);
        Panel p ("automation_frequency");
        auto& fader = c.center ? p.panel.centerSlider : p.panel.amountSlider;
        PanelProbe::Announcements heard (p.node());

        fader.mouseDoubleClick (event (fader, { 25.0f, 60.0f }, left, 2));
        EXPECT_TRUE (p.node()[c.property].equalsWithSameType (c.expected));
        EXPECT_EQ (FaderText::shown (fader), c.shown);
        EXPECT_EQ (heard.total, 1);

        fader.mouseDoubleClick (event (fader, { 25.0f, 60.0f }, left, 2));
        EXPECT_EQ (heard.total, 1) << "already at its double-click value: nothing happens";
    }
}

TEST (FilterParametersComponent, DraggingAFaderWritesItAndMovesThePreview)
{
    Panel p ("automation_frequency");

    pressFaderEnd (p.panel.centerSlider, true);
    EXPECT_TRUE (p.node()["value"].equalsWithSameType (1.0));
    EXPECT_EQ (p.editor().previewOffset, 1.0f);

    pressFaderEnd (p.panel.amountSlider, false);
    EXPECT_TRUE (p.node()["scale_y"].equalsWithSameType (-1.0));
    EXPECT_EQ (p.editor().previewAmount, -1.0f);
    EXPECT_EQ (FaderText::shown (p.panel.amountSlider), "-100%");
    EXPECT_EQ (p.changes, 2);
}

TEST (FilterParametersComponent, OnlyPropertiesTheNodeHoldsAreWrittenButThePreviewAlwaysMoves)
{
    Panel missing (nullptr);
    juce::ValueTree bare ("automation_frequency");
    missing.panel.setValueTree (bare);
    EXPECT_EQ (FaderText::shown (missing.panel.centerSlider), "0%") << "a missing value reads as 0";
    EXPECT_EQ (missing.panel.editedCurve.toString(), "0 0 0\n") << "a missing curve reads as empty";

    Panel unbound (nullptr);

    for (auto* p : { &missing, &unbound })
    {
        pressFaderEnd (p->panel.centerSlider, true);
        pressFaderEnd (p->panel.amountSlider, false);
        hoverAndDrag (p->editor(), p->curvePx (0.0f, 0.0f), p->curvePx (0.0f, 0.5f));

        EXPECT_EQ (p->editor().previewOffset, 1.0f);
        EXPECT_EQ (p->editor().previewAmount, -1.0f);
        EXPECT_EQ (p->changes, 3);
    }

    EXPECT_EQ (bare.getNumProperties(), 0);
}

TEST (FilterParametersComponent, CurveEditsWriteTheTextOncePerEventAndNeverAnEqualText)
{
    Panel p ("automation_frequency");
    PanelProbe::Announcements heard (p.node());
    auto& editor = p.editor();

    move (editor, p.curvePx (1.0f, 0.0f));
    dragTo (editor, p.curvePx (1.0f, 0.5f));
    dragTo (editor, p.curvePx (1.0f, 0.625f));
    dragTo (editor, p.curvePx (1.0f, 0.625f));
    release (editor, p.curvePx (1.0f, 0.625f), left, 1);

    EXPECT_EQ (heard.of ("automation_frequency.curve"), 2);
    EXPECT_EQ (heard.total, 2);
    EXPECT_EQ (p.node()["curve"].toString(), "0 1 -0.1\n1 0.625 0\n");
    EXPECT_EQ (p.panel.editedCurve.toString(), p.node()["curve"].toString().toStdString());

    // A right click resets the first point to 0: one more write.
    hoverAndRightClick (editor, p.curvePx (0.0f, 1.0f));
    EXPECT_EQ (p.node()["curve"].toString(), "0 0 -0.1\n1 0.625 0\n");
    EXPECT_EQ (heard.total, 3);
    EXPECT_EQ (p.changes, 4);
}

TEST (FilterParametersComponent, ACurveFromTheTreeReplacesTheEditedOneAndStaysAsStored)
{
    Panel p ("automation_pan");
    auto node = p.node();

    juce::String text;
    for (int i = 0; i < 200; ++i)
        text << (i / 200.0) << " 0.5 0\n";

    PanelProbe::Announcements heard (node);
    node.setProperty ("curve", text, nullptr);
    MessagePump::run (20);

    EXPECT_EQ (p.panel.editedCurve.points.size(), 128u);
    EXPECT_EQ (node["curve"].toString(), text);
    EXPECT_EQ (heard.total, 1);
}
