#include <gtest/gtest.h>

#include "../../panels/QuorlStyleCurveEditor.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    // 276 x 148 leaves a unit square of 256 x 128 px inside the 10-px margins, so curve
    // coordinates that are binary fractions map to pixels and back exactly; k = 1.
    struct Rig
    {
        explicit Rig (const std::string& text, int width = 276, int height = 148)
        {
            curve.fromString (text);
            editor.onChange = [this] { ++changes; };
            editor.setSize (width, height);
        }

        juce::Point<float> px (float x, float y) const { return juce::Point<float> (x, y).transformedBy (editor.viewTransform); }
        juce::Point<float> handlePx (size_t segment) const
        {
            const float x = (curve.points[segment].x + curve.points[segment + 1].x) * 0.5f;
            return px (x, curve.calculateCurveValue (x));
        }

        juce::Image render()
        {
            auto image = PixelProbe::blank (editor.getWidth(), editor.getHeight(), juce::Colours::magenta);
            juce::Graphics g (image);
            editor.paint (g);
            return image;
        }

        QuorlStyleCurve curve;
        QuorlStyleCurveEditor editor { curve };
        int changes = 0;
    };

    using namespace SyntheticMouse;
}

TEST (QuorlStyleCurveEditor, MapsTheUnitSquareInsideTheMarginsWithYUpwards)
{
    Rig rig ("0 0 0\n1 1 0\n", 310, 95);
    EXPECT_EQ (rig.px (0, 0), juce::Point<float> (10, 85));
    EXPECT_EQ (rig.px (1, 0), juce::Point<float> (300, 85));
    EXPECT_EQ (rig.px (0, 1), juce::Point<float> (10, 10));
}

TEST (QuorlStyleCurveEditor, HoverPicksTheNearestItemWithTiesToTheEarlierOne)
{
    struct Case
    {
        const char* what;
        int width, height;
        const char* curve;
        float mx, my;
        int index;
        bool handle;
    };

    const Case cases[] = {
        { "a point beats its following handle at equal distance", 276, 148, "0 0 0\n0.125 0 0\n", 0.03125f, 0.0f, 0, false },
        { "the lower index beats the next point at equal distance", 276, 148, "0 0 0\n0.125 0 0\n1 0 0\n", 0.09375f, 0.0f, 0, true },
        { "the nearest wins otherwise", 276, 148, "0 0 0\n0.125 0 0\n1 0 0\n", 0.1f, 0.01f, 1, false },
        { "nothing within 0.1", 276, 148, "0 0 0\n1 1 0\n", 0.5f, 0.9f, -1, false },
        { "narrower than tall: k = 0, y alone counts", 60, 148, "0 0.25 0\n1 0.75 0\n", 0.0f, 0.5f, 0, true },
        { "narrower than tall: a far point by x is near by y", 60, 148, "0 0.25 0\n1 0.75 0\n", 1.0f, 0.3f, 0, false },
        { "310 x 95: k = 3, not the real ratio 3.26", 310, 95, "0.5 0.5 0\n", 0.532f, 0.5f, 0, false },
        { "310 x 95: x weighs three times", 310, 95, "0.5 0.5 0\n", 0.535f, 0.5f, -1, false },
        { "190 x 100: k = 1, not 1.9", 190, 100, "0.5 0.5 0\n", 0.59f, 0.5f, 0, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Rig rig (c.curve, c.width, c.height);
        move (rig.editor, rig.px (c.mx, c.my));
        EXPECT_EQ (rig.editor.hoverIndex, c.index);
        EXPECT_EQ (rig.editor.hoverIsHandle, c.handle);
    }
}

TEST (QuorlStyleCurveEditor, HoverIsClearedWhenTheMouseMovesAway)
{
    Rig rig ("0 0 0\n1 1 0\n");
    move (rig.editor, rig.handlePx (0));
    EXPECT_EQ (rig.editor.hoverIndex, 0);
    EXPECT_TRUE (rig.editor.hoverIsHandle);

    move (rig.editor, rig.px (0.1f, 0.9f));
    EXPECT_EQ (rig.editor.hoverIndex, -1);
    EXPECT_FALSE (rig.editor.hoverIsHandle);
}

TEST (QuorlStyleCurveEditor, DraggedPointsStopShortOfNeighboursAndInsideTheSquare)
{
    struct Case { size_t index; float toX, toY; float x, y; };
    const Case cases[] = {
        { 1, -0.5f, 0.5f, 0.01f, 0.5f },  // 0.01 right of the first point
        { 1, 2.0f, 0.5f, 0.99f, 0.5f },   // 0.01 left of the last point
        { 1, 0.5f, 3.0f, 0.5f, 1.0f },
        { 1, 0.3f, -1.0f, 0.3f, 0.0f },
        { 0, 0.9f, 0.2f, 0.49f, 0.2f },
        { 0, -1.0f, 0.2f, 0.0f, 0.2f },
        { 2, 5.0f, 0.5f, 1.0f, 0.5f },
        { 2, 0.1f, 0.5f, 0.51f, 0.5f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "point " << c.index << " to " << c.toX << ", " << c.toY);
        Rig rig ("0 0 0.3\n0.5 0.5 0.2\n1 1 0.1\n");
        const auto& p = rig.curve.points[c.index];
        const float bend = p.curve;

        hoverAndDrag (rig.editor, rig.px (p.x, p.y), rig.px (c.toX, c.toY));

        EXPECT_FLOAT_EQ (rig.curve.points[c.index].x, c.x);
        EXPECT_NEAR (rig.curve.points[c.index].y, c.y, 1e-6);
        EXPECT_EQ (rig.curve.points[c.index].curve, bend);
        EXPECT_EQ (rig.changes, 1) << "one change per drag event";
    }
}

TEST (QuorlStyleCurveEditor, DragReportsEachStepOnceAndIgnoresOtherButtonsAndEmptySpace)
{
    Rig rig ("0 0 0\n0.5 0.5 0\n1 1 0\n");
    move (rig.editor, rig.px (0.5f, 0.5f));
    for (float y : { 0.6f, 0.7f, 0.8f })
        dragTo (rig.editor, rig.px (0.5f, y));
    EXPECT_EQ (rig.changes, 3);
    EXPECT_NEAR (rig.curve.points[1].y, 0.8f, 1e-6);

    dragTo (rig.editor, rig.px (0.5f, 0.1f), right);
    EXPECT_EQ (rig.changes, 3);
    EXPECT_NEAR (rig.curve.points[1].y, 0.8f, 1e-6);

    move (rig.editor, rig.px (0.1f, 0.9f));
    dragTo (rig.editor, rig.px (0.5f, 0.1f));
    EXPECT_EQ (rig.changes, 3);
    EXPECT_EQ (rig.curve.toString(), "0 0 0\n0.5 0.8 0\n1 1 0\n");
}

TEST (QuorlStyleCurveEditor, HandleDragBendsTheSegmentTowardsTheMouseOnRisingAndFallingSegments)
{
    struct Case { const char* curve; float mouseY; float bend; };
    const Case cases[] = {
        { "0 0.2 0\n1 0.8 0\n", 0.2f, 0.25f },   // rising: the values are negated
        { "0 0.2 0\n1 0.8 0\n", 0.8f, -0.25f },
        { "0 0.2 0\n1 0.8 0\n", -0.7f, 1.0f },   // 1.5 ranges below
        { "0 0.2 0\n1 0.8 0\n", 1.7f, -1.0f },   // 1.5 ranges above
        { "0 0.2 0\n1 0.8 0\n", 9.0f, -1.0f },
        { "0 0.8 0\n1 0.2 0\n", 0.2f, -0.25f },  // falling
        { "0 0.8 0\n1 0.2 0\n", 0.8f, 0.25f },
        { "0 0.8 0\n1 0.2 0\n", -0.7f, -1.0f },
        { "0 0.8 0\n1 0.2 0\n", 1.7f, 1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.curve << " mouse y " << c.mouseY);
        Rig rig (c.curve);
        const float straight = rig.curve.calculateCurveValue (0.5f);
        hoverAndDrag (rig.editor, rig.handlePx (0), rig.px (0.5f, c.mouseY));

        EXPECT_NEAR (rig.curve.points[0].curve, c.bend, 1e-4);
        // Mouse above the middle of the segment bends it up, below bends it down.
        const float bent = rig.curve.calculateCurveValue (0.5f);
        EXPECT_EQ (bent > straight, c.mouseY > 0.5f);
        EXPECT_EQ (rig.changes, 1);
    }
}

TEST (QuorlStyleCurveEditor, FlatSegmentHandleChangesNothingButStillReports)
{
    Rig rig ("0 0.5 0\n1 0.5 0\n");
    hoverAndDrag (rig.editor, rig.handlePx (0), rig.px (0.5f, 0.9f));
    EXPECT_EQ (rig.curve.toString(), "0 0.5 0\n1 0.5 0\n");
    EXPECT_EQ (rig.changes, 1);
}

TEST (QuorlStyleCurveEditor, RightClickResetsAPointToTheBottomOrTheMiddleWhenBipolar)
{
    struct Case { const char* what; bool bipolar; const char* curve; size_t index; bool handle; const char* after; int changes; };
    const Case cases[] = {
        { "unipolar point", false, "0 0.3 0\n0.5 0.7 0.2\n1 1 0\n", 1, false, "0 0.3 0\n0.5 0 0.2\n1 1 0\n", 1 },
        { "bipolar point", true, "0 0.3 0\n0.5 0.7 0.2\n1 1 0\n", 1, false, "0 0.3 0\n0.5 0.5 0.2\n1 1 0\n", 1 },
        { "x held 0.01 from its neighbour again", false, "0 0.3 0\n0.005 0.7 0\n1 1 0\n", 1, false, "0 0.3 0\n0.01 0 0\n1 1 0\n", 1 },
        { "a handle stays", false, "0 0.3 0\n0.5 0.7 0.2\n1 1 0\n", 0, true, "0 0.3 0\n0.5 0.7 0.2\n1 1 0\n", 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Rig rig (c.curve);
        rig.editor.bipolar = c.bipolar;
        const auto& p = rig.curve.points[c.index];
        hoverAndRightClick (rig.editor, c.handle ? rig.handlePx (c.index) : rig.px (p.x, p.y));

        ASSERT_EQ (rig.editor.hoverIndex, (int) c.index);
        EXPECT_EQ (rig.curve.toString(), c.after);
        EXPECT_EQ (rig.changes, c.changes);
    }

    Rig nothing ("0 0.3 0\n1 1 0\n");
    hoverAndRightClick (nothing.editor, nothing.px (0.9f, 0.1f));
    EXPECT_EQ (nothing.curve.toString(), "0 0.3 0\n1 1 0\n");
    EXPECT_EQ (nothing.changes, 0) << "a right click on empty space does nothing";
}

TEST (QuorlStyleCurveEditor, DoubleClickAddsRemovesOrStraightens)
{
    struct Case { const char* what; float mx, my; bool onHandle; const char* after; };
    const char* start = "0 0 0\n0.5 0.5 0.4\n1 1 0\n";
    const Case cases[] = {
        { "the first point stays", 0.0f, 0.0f, false, start },
        { "the last point goes", 1.0f, 1.0f, false, "0 0 0\n0.5 0.5 0.4\n" },
        { "a middle point goes", 0.5f, 0.5f, false, "0 0 0\n1 1 0\n" },
        { "a handle straightens its segment", 0.0f, 0.0f, true, "0 0 0\n0.5 0.5 0\n1 1 0\n" },
        { "empty space adds a point", 0.25f, 0.875f, false, "0 0 0\n0.25 0.875 0\n0.5 0.5 0.4\n1 1 0\n" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Rig rig (start);
        hoverAndDoubleClick (rig.editor, c.onHandle ? rig.handlePx (1) : rig.px (c.mx, c.my));
        EXPECT_EQ (rig.curve.toString(), c.after);
        EXPECT_EQ (rig.changes, 1);
    }

    // The point just added is hovered at once.
    Rig added (start);
    hoverAndDoubleClick (added.editor, added.px (0.25f, 0.875f));
    EXPECT_EQ (added.editor.hoverIndex, 1);
    EXPECT_FALSE (added.editor.hoverIsHandle);
}

TEST (QuorlStyleCurveEditor, DoubleClickInTheMarginAddsAPointOutsideTheSquare)
{
    Rig rig ("0 0 0\n1 1 0\n");
    hoverAndDoubleClick (rig.editor, { 3.0f, 3.0f });

    ASSERT_EQ (rig.curve.points.size(), 3u);
    EXPECT_FLOAT_EQ (rig.curve.points[0].x, -7.0f / 256.0f);
    EXPECT_FLOAT_EQ (rig.curve.points[0].y, 135.0f / 128.0f);
}

TEST (QuorlStyleCurveEditor, HoldsAtMost128Points)
{
    QuorlStyleCurve curve;
    curve.points.clear();
    for (int i = 0; i < 200; ++i)
        curve.points.push_back ({ (float) i / 199.0f, 0.0f, 0.0f });

    QuorlStyleCurveEditor editor (curve);
    ASSERT_EQ (curve.points.size(), 128u) << "the first 128 points are kept";
    EXPECT_EQ (curve.points.back().x, 127.0f / 199.0f);
    EXPECT_EQ (curve.maxPoints, 128);

    int changes = 0;
    editor.onChange = [&] { ++changes; };
    editor.setSize (276, 148);
    hoverAndDoubleClick (editor, { 200.0f, 20.0f });
    EXPECT_EQ (curve.points.size(), 128u) << "no point beyond the limit";
    EXPECT_EQ (changes, 1);
}

TEST (QuorlStyleCurveEditor, OnePointCurveMovesFreelyAndCannotBeRemoved)
{
    Rig rig ("0.3 0.4 0\n");
    hoverAndDrag (rig.editor, rig.px (0.3f, 0.4f), rig.px (0.75f, 0.25f));
    EXPECT_EQ (rig.curve.toString(), "0.75 0.25 0\n");

    hoverAndDrag (rig.editor, rig.px (0.75f, 0.25f), rig.px (2.0f, -1.0f));
    EXPECT_EQ (rig.curve.toString(), "1 0 0\n");

    hoverAndDoubleClick (rig.editor, rig.px (1.0f, 0.0f));
    EXPECT_EQ (rig.curve.points.size(), 1u);

    rig.editor.updatePath();
    EXPECT_EQ (rig.editor.curvePath.getLength(), 0.0f) << "all samples are the one point";

    hoverAndDoubleClick (rig.editor, rig.px (0.25f, 0.75f));
    EXPECT_EQ (rig.curve.toString(), "0.25 0.75 0\n1 0 0\n");
}

TEST (QuorlStyleCurveEditor, CurveWithoutPointsCanOnlyBeAddedTo)
{
    Rig rig ("no points here");
    ASSERT_TRUE (rig.curve.points.empty());

    move (rig.editor, rig.px (0.5f, 0.5f));
    EXPECT_EQ (rig.editor.hoverIndex, -1);
    rig.render(); // draws without a curve to sample

    hoverAndDoubleClick (rig.editor, rig.px (0.5f, 0.5f));
    EXPECT_EQ (rig.curve.toString(), "0.5 0.5 0\n");
    EXPECT_EQ (rig.editor.hoverIndex, 0);
}

TEST (QuorlStyleCurveEditor, AStaleHoverAfterTheOwnerShrankTheCurveEditsNothing)
{
    Rig rig ("0 0 0\n0.5 0.5 0\n1 1 0\n");
    move (rig.editor, rig.px (1.0f, 1.0f));
    ASSERT_EQ (rig.editor.hoverIndex, 2);

    rig.curve.fromString ("0 0 0\n1 1 0\n");
    dragTo (rig.editor, rig.px (0.5f, 0.2f));
    release (rig.editor, rig.px (0.5f, 0.2f), right, 1);
    EXPECT_EQ (rig.curve.toString(), "0 0 0\n1 1 0\n");
    EXPECT_EQ (rig.changes, 2);
    rig.render();
}

TEST (QuorlStyleCurveEditor, PreviewIsTheCurveScaledByTheAmountAndShiftedByTheOffset)
{
    struct Case { bool bipolar; float offset, amount; float y0, y1; };
    const Case cases[] = {
        { false, 0.2f, 0.3f, 0.5f, 0.2f },
        { false, 0.2f, -0.3f, -0.1f, 0.2f }, // offset minus the scaled curve
        { true, 0.5f, 0.4f, 0.7f, 0.3f },    // centred on the offset
        { true, 0.5f, -0.4f, 0.3f, 0.7f },
        { false, 0.0f, 2.0f, 1.0f, 0.0f },   // the scaled curve is held to 0..1
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "bipolar " << c.bipolar << " offset " << c.offset << " amount " << c.amount);
        Rig rig ("0 1 0\n1 0 0\n");
        rig.editor.bipolar = c.bipolar;
        rig.editor.previewOffset = c.offset;
        rig.editor.previewAmount = c.amount;
        rig.editor.updatePath();

        ASSERT_EQ (rig.editor.previewCurve.points.size(), 2u);
        EXPECT_NEAR (rig.editor.previewCurve.points[0].y, c.y0, 1e-6);
        EXPECT_NEAR (rig.editor.previewCurve.points[1].y, c.y1, 1e-6);

        // The drawn preview never leaves the unit square.
        const auto square = juce::Rectangle<float> (10, 10, 256, 128).expanded (0.01f);
        EXPECT_TRUE (square.contains (rig.editor.previewPath.getBounds()));
    }
}

TEST (QuorlStyleCurveEditor, PaintsBandOffsetLineCornersAndMarks)
{
    Rig rig ("0 0 0\n1 1 0\n");
    rig.editor.previewOffset = 0.25f;
    rig.editor.previewAmount = 0.5f;
    const auto& lf = rig.editor.lookAndFeel;

    const auto image = rig.render();
    const auto at = [&] (int x, int y) { return image.getPixelAt (x, y); };

    EXPECT_TRUE (PixelProbe::near (at (200, 120), lf.c0)) << "below the band";
    EXPECT_TRUE (PixelProbe::near (at (200, 80), lf.c2)) << "the band spans y 0.25 .. 0.75";
    EXPECT_TRUE (PixelProbe::near (at (200, 30), lf.c0)) << "above the band";
    EXPECT_TRUE (PixelProbe::near (at (150, 105), lf.c5)) << "the offset line at y 0.25";
    EXPECT_TRUE (PixelProbe::near (at (40, 105), lf.c5));

    // Each bracket: a horizontal and a vertical arm, 1 px wide, 2 px in from the edge.
    for (auto [x, y] : std::initializer_list<std::pair<int, int>> { { 7, 2 }, { 2, 7 }, { 268, 2 }, { 274, 7 }, { 7, 146 }, { 2, 140 }, { 268, 146 }, { 274, 140 } })
        EXPECT_TRUE (PixelProbe::near (at (x, y), lf.c12)) << x << ", " << y;
    EXPECT_TRUE (PixelProbe::near (at (30, 2), lf.c0)) << "between the brackets";

    // A hovered point or handle is drawn larger.
    const auto whiteAround = [&] (juce::Point<float> centre)
    {
        const auto img = rig.render();
        return PixelProbe::countNear (img, juce::Rectangle<int> (14, 14).withCentre (centre.toInt()), lf.c12, 60);
    };
    const auto point = rig.px (1, 1), handle = rig.handlePx (0);
    const int plainPoint = whiteAround (point), plainHandle = whiteAround (handle);
    move (rig.editor, point);
    EXPECT_GT (whiteAround (point), plainPoint + 20);
    move (rig.editor, handle);
    EXPECT_GT (whiteAround (handle), plainHandle + 30);
    EXPECT_EQ (whiteAround (point), plainPoint);
}
