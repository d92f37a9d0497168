#include "processor/QuorlStyleCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace
{
QuorlStyleCurve parsed (const std::string& text)
{
    QuorlStyleCurve c;
    c.fromString (text);
    return c;
}
} // namespace

TEST (QuorlStyleCurve, DefaultIsTheStraightLineAndHoldsItsEndsOutside)
{
    const QuorlStyleCurve c;
    EXPECT_EQ (c.toString(), "0 0 0\n1 1 0\n");
    EXPECT_EQ (c.maxPoints, -1);

    for (const float x : { 0.0f, 0.25f, 0.5f, 0.75f, 1.0f })
        EXPECT_FLOAT_EQ (c.calculateCurveValue (x), x);

    EXPECT_EQ (c.calculateCurveValue (-0.5f), 0.0f);
    EXPECT_EQ (c.calculateCurveValue (1.5f), 1.0f);
}

TEST (QuorlStyleCurve, TextFormRoundTripsInPrinterForm)
{
    const struct { const char* in; const char* out; size_t points; } cases[] = {
        { "", "0 0 0\n", 1 },
        { "0 1 -0.1\n 1 0 0", "0 1 -0.1\n1 0 0\n", 2 },
        { "0 1 -0.1\n1 0 0\n", "0 1 -0.1\n1 0 0\n", 2 },
        { "0 0 0 1 1", "0 0 0\n", 1 },                 // incomplete last triple dropped
        { "0.5 0.25 0,", "0.5 0.25 0\n", 1 },          // a comma right after a triple keeps it
        { "1 1 0\n0.5 0.2 0\n0 0 0\n", "0 0 0\n0.5 0.2 0\n1 1 0\n", 3 },
        { "0.1234567 1e-07 0", "0.123457 1e-07 0\n", 1 },
        { "   ", "", 0 },
        { "abc", "", 0 },
        { "0 0 0 x 1 1 0", "0 0 0\n", 1 },             // the first unreadable item ends the parse
    };

    for (const auto& c : cases)
    {
        const auto curve = parsed (c.in);
        EXPECT_EQ (curve.points.size(), c.points) << "text: " << c.in;
        EXPECT_EQ (curve.toString(), c.out) << "text: " << c.in;
    }
}

TEST (QuorlStyleCurve, CurvatureBendsTheSegmentByAPowerLaw)
{
    auto rising = parsed ("0 0 1\n1 1 0\n");
    EXPECT_NEAR (rising.calculateCurveValue (0.5f), std::pow (0.5f, 64.0f), 1e-25f);

    auto early = parsed ("0 0 -1\n1 1 0\n");
    EXPECT_EQ (early.calculateCurveValue (0.5f), 1.0f);

    auto slight = parsed ("0 1 -0.1\n1 0 0\n");
    const float e = 63.0f * -0.1f * -0.1f + 1.0f;
    EXPECT_FLOAT_EQ (slight.calculateCurveValue (0.25f), std::pow (0.75f, e));
}

TEST (QuorlStyleCurve, OnePointIsAConstantAndAnEmptyCurveStaysInRange)
{
    for (const float y : { 0.0f, 0.5f, 1.0f, 1.7f, -0.3f })
    {
        QuorlStyleCurve c;
        c.points = { { 0.0f, y, 0.0f } };
        const float expected = y < 0.0f ? 0.0f : (y > 1.0f ? 1.0f : y);

        for (const float x : { 0.0f, 0.3f, 1.0f })
            EXPECT_EQ (c.calculateCurveValue (x), expected) << "y = " << y << " x = " << x;
    }

    const auto empty = parsed ("nonsense");
    ASSERT_TRUE (empty.points.empty());

    for (const float x : { -1.0f, 0.0f, 0.5f, 2.0f })
    {
        const float v = empty.calculateCurveValue (x);
        EXPECT_TRUE (v >= 0.0f && v <= 1.0f);
    }

    EXPECT_EQ (QuorlStyleCurve().calculateCurveValue (std::nanf ("")), 0.0f);
}

TEST (QuorlStyleCurve, EqualXFormsAStepWithoutDividingByZero)
{
    QuorlStyleCurve c;
    c.points.clear();
    c.addControlPoint (0.0f, 0.0f, 0.0f);
    c.addControlPoint (0.5f, 0.2f, 0.0f);
    c.addControlPoint (0.5f, 0.8f, 0.0f);
    c.addControlPoint (1.0f, 1.0f, 0.0f);

    EXPECT_FLOAT_EQ (c.calculateCurveValue (0.5f), 0.2f);          // the first added of the two
    EXPECT_NEAR (c.calculateCurveValue (0.5001f), 0.8f, 1e-3f);      // continues from the later one
    EXPECT_TRUE (std::isfinite (c.calculateCurveValue (0.5f)));
}

TEST (QuorlStyleCurve, ArithmeticShiftsAndScalesOnlyY)
{
    const QuorlStyleCurve line;
    const auto raised = 0.8f + line;
    EXPECT_FLOAT_EQ (raised.points[0].y, 0.8f);
    EXPECT_FLOAT_EQ (raised.points[1].y, 1.8f);
    EXPECT_EQ (raised.calculateCurveValue (1.0f), 1.0f);

    const auto lowered = 0.2f - line;
    EXPECT_FLOAT_EQ (lowered.points[1].y, -0.8f);
    EXPECT_EQ (lowered.points[1].x, 1.0f);

    QuorlStyleCurve c;
    c.points = { { 0.0f, 1.0f, 0.3f }, { 1.0f, 0.4f, 0.0f } };
    const auto half = c * 0.5f;
    EXPECT_FLOAT_EQ (half.points[0].y, 0.5f);
    EXPECT_FLOAT_EQ (half.points[1].y, 0.2f);
    EXPECT_EQ (half.points[0].curve, 0.3f);

    const auto negative = c * -2.0f;
    EXPECT_EQ (negative.points[0].y, 0.0f);
    EXPECT_EQ (negative.points[1].y, 0.0f);
}

TEST (QuorlStyleCurve, PointLimitIsCopiedAndStopsAdditions)
{
    QuorlStyleCurve c;
    c.maxPoints = 3;
    c.addControlPoint (0.5f, 0.5f, 0.0f);
    c.addControlPoint (0.7f, 0.5f, 0.0f);
    EXPECT_EQ (c.points.size(), 3u);

    const QuorlStyleCurve copy (c);
    EXPECT_EQ (copy.maxPoints, 3);

    c.fromString ("0 0 0 0.1 0 0 0.2 0 0 0.3 0 0");
    EXPECT_EQ (c.points.size(), 3u);
    EXPECT_EQ (c.points.back().x, 0.2f);

    c.maxPoints = 0;
    c.fromString ("");
    EXPECT_TRUE (c.points.empty());
}

TEST (QuorlStyleCurve, LongTextParsesInOnePass)
{
    std::string text;

    for (int i = 20000; i-- > 0;)
        text += std::to_string (i / 20000.0) + " 0.5 0\n";

    const auto c = parsed (text);
    ASSERT_EQ (c.points.size(), 20000u);
    EXPECT_TRUE (std::is_sorted (c.points.begin(), c.points.end()));
}
