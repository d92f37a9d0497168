#include <gtest/gtest.h>

#include "../../panels/OndulaParametersComponent.h"
#include "../support/FaderText.h"
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
            if (type != nullptr)
                panel.setValueTree (PanelProbe::node (root, type));
        }

        juce::ValueTree node() { return panel.valueTree; }
        QuorlStyleCurveEditor& editor() { return panel.curveEditor; }
        juce::Point<float> curvePx (float x, float y) { return juce::Point<float> (x, y).transformedBy (editor().viewTransform); }

        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        juce::ValueTree root = PanelProbe::defaultTree();
        OndulaParametersComponent panel { mappings, console };
    };

    using namespace SyntheticMouse;
}

TEST (OndulaParametersComponent, ShowsTheNodeDefaultsAndPreviewsTheCurveTimesTheDepth)
{
    struct Case { const char* type; const char* amount; const char* phase; float depth; };
    const Case cases[] = {
        { "ondula_frequency", "25%", "0%", 0.25f },
        { "ondula_bandwidth", "25%", "75%", 0.25f },
        { "ondula_amplitude", "50%", "0%", 0.5f },
        { "ondula_delay", "50%", "0%", 0.5f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.type);
        Panel p (c.type);
        EXPECT_EQ (FaderText::shown (p.panel.amountSlider), c.amount);
        EXPECT_EQ (FaderText::shown (p.panel.phaseSlider), c.phase);
        EXPECT_EQ (p.editor().previewOffset, 0.0f);
        EXPECT_EQ (p.editor().previewAmount, c.depth);
        EXPECT_EQ (p.panel.editedCurve.toString(), p.node()["curve"].toString().toStdString());
    }
}

TEST (OndulaParametersComponent, ValuesFromTheTreeAreShownAndNeverWrittenBack)
{
    struct Case { const char* property; juce::var stored; const char* shown; float previewAmount; };
    const Case cases[] = {
        { "scale", 0.123456, "12%", 0.123456f },
        { "scale", 1.5, "100%", 0.25f },   // outside -1..1: the preview stays
        { "scale", -0.5, "0%", -0.5f },
        { "phase", 0.123456, "12%", 0.25f },
        { "phase", 2.0, "100%", 0.25f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.property << " = " << c.stored.toString());
        Panel p ("ondula_frequency");
        auto node = p.node();
        PanelProbe::Announcements heard (node);

        node.setProperty (c.property, c.stored, nullptr);
        MessagePump::run (30);

        auto& fader = juce::String (c.property) == "scale" ? p.panel.amountSlider : p.panel.phaseSlider;
        EXPECT_EQ (FaderText::shown (fader), c.shown);
        EXPECT_EQ (heard.total, 1) << "the change itself, nothing written back";
        EXPECT_TRUE (node[c.property].equalsWithSameType (c.stored));
        EXPECT_EQ (p.editor().previewAmount, c.previewAmount);
    }
}

TEST (OndulaParametersComponent, DoubleClickReturnsAFaderToItsValueAndWritesIt)
{
    struct Case { bool amount; const char* property; double expected; const char* shown; };
    const Case cases[] = { { true, "scale", 0.5, "50%" }, { false, "phase", 0.0, "0%" } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.property);
        Panel p ("ondula_bandwidth");
        auto& fader = c.amount ? p.panel.amountSlider : p.panel.phaseSlider;
        PanelProbe::Announcements heard (p.node());

        fader.mouseDoubleClick (event (fader, { 25.0f, 60.0f }, left, 2));
        EXPECT_TRUE (p.node()[c.property].equalsWithSameType (c.expected));
        EXPECT_EQ (FaderText::shown (fader), c.shown);
        EXPECT_EQ (heard.total, 1);
    }
}

TEST (OndulaParametersComponent, ANewDepthFromTheFaderReachesThePreviewThroughTheNode)
{
    Panel bound ("ondula_pan");
    bound.panel.amountSlider.mouseDown (event (bound.panel.amountSlider, { 25.0f, -20.0f }, left));
    EXPECT_TRUE (bound.node()["scale"].equalsWithSameType (1.0));
    EXPECT_EQ (bound.editor().previewAmount, 1.0f);

    // Without a node the fader moves alone.
    Panel unbound (nullptr);
    const float before = unbound.editor().previewAmount;
    unbound.panel.amountSlider.mouseDown (event (unbound.panel.amountSlider, { 25.0f, 200.0f }, left));
    EXPECT_EQ (unbound.panel.amountSlider.getValue(), 0.0);
    EXPECT_EQ (unbound.editor().previewAmount, before);
}

TEST (OndulaParametersComponent, CurveEditsWriteTheTextOncePerEventAndNeverAnEqualText)
{
    Panel p ("ondula_frequency"); // one point at (0, 0.5)
    PanelProbe::Announcements heard (p.node());
    auto& editor = p.editor();

    move (editor, p.curvePx (0.0f, 0.5f));
    dragTo (editor, p.curvePx (0.25f, 0.75f));
    dragTo (editor, p.curvePx (0.25f, 0.75f));
    release (editor, p.curvePx (0.25f, 0.75f), left, 1);
    EXPECT_EQ (heard.total, 1);
    EXPECT_EQ (p.node()["curve"].toString(), "0.25 0.75 0\n");

    hoverAndDoubleClick (editor, p.curvePx (0.75f, 0.25f));
    EXPECT_EQ (p.node()["curve"].toString(), "0.25 0.75 0\n0.75 0.25 0\n");
    EXPECT_EQ (heard.total, 2);

    Panel unbound (nullptr);
    hoverAndDoubleClick (unbound.editor(), unbound.curvePx (0.5f, 0.9f));
    EXPECT_EQ (unbound.panel.editedCurve.points.size(), 3u) << "the curve still edits without a node";
}

TEST (OndulaParametersComponent, MissingPropertiesReadAsZeroAndStopAfterDestruction)
{
    juce::ValueTree bare ("ondula_delay");
    {
        Panel p (nullptr);
        p.panel.setValueTree (bare);
        EXPECT_EQ (FaderText::shown (p.panel.amountSlider), "0%");
        EXPECT_EQ (p.editor().previewAmount, 0.0f);
        EXPECT_EQ (p.panel.editedCurve.toString(), "0 0 0\n");
        EXPECT_EQ (bare.getNumProperties(), 0) << "binding writes nothing";
    }
    bare.setProperty ("scale", 0.3, nullptr); // no listener left behind
    SUCCEED();
}
