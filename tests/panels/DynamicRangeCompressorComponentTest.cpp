#include <gtest/gtest.h>

#include "../../panels/DynamicRangeCompressorComponent.h"
#include "../support/PixelProbe.h"

#include <cmath>

namespace
{
    // The curve drawn at the panel's size, as its pixels.
    juce::Image draw (float threshold, float slope)
    {
        DynamicRangeCompressorComponent display;
        display.setSize (200, 130);
        display.threshold = threshold;
        display.slope = slope;
        auto image = PixelProbe::blank (200, 130, juce::Colours::magenta);
        juce::Graphics g (image);
        display.paint (g);
        return image;
    }

    // The pixel a 2-px stroke through (x dB, y dB) covers fully at the panel's 200 x 130, that
    // is 1.72 px and 1.02 px per dB.
    juce::Point<int> pixel (float x, float y)
    {
        return { (int) (24.0f + 1.72f * (x + 80.0f)), (int) (4.0f + 1.02f * (20.0f - y)) };
    }
}

TEST (DynamicRangeCompressorComponent, TransferCurveFollowsTheDiagonalBelowAndTheSlopeAboveTheSoftKnee)
{
    struct Case { float threshold, slope, x, y, tolerance; };
    const Case cases[] = {
        // Slope 1: the diagonal, whatever the threshold.
        { -30.0f, 1.0f, -80.0f, -80.0f, 0.0f }, { -30.0f, 1.0f, 20.0f, 20.0f, 0.0f }, { -60.0f, 1.0f, -10.0f, -10.0f, 0.0f },
        // Slope 0 at 0 dB: the diagonal up to about -10 dB, 1.5 dB below it at 0 dB, level above.
        { 0.0f, 0.0f, -20.0f, -20.0f, 0.01f }, { 0.0f, 0.0f, -10.0f, -10.0216f, 0.001f }, { 0.0f, 0.0f, 0.0f, -1.5051f, 0.001f },
        { 0.0f, 0.0f, 20.0f, 0.0f, 0.001f },
        // Halving above -30 dB.
        { -30.0f, 0.5f, 10.0f, -10.0f, 0.01f }, { -30.0f, 0.5f, -30.0f, -30.75257f, 0.001f },
        // A negative slope falls as the input rises.
        { -60.0f, -1.0f, 0.0f, -120.0f, 0.01f },
    };

    DynamicRangeCompressorComponent display;
    EXPECT_EQ (display.threshold, -30.0f);
    EXPECT_EQ (display.slope, 1.0f);
    EXPECT_EQ (display.knee, 5.0f);

    for (const auto& c : cases)
    {
        display.threshold = c.threshold;
        display.slope = c.slope;
        EXPECT_NEAR (display.outputLevel (c.x), c.y, c.tolerance) << c.threshold << " dB, slope " << c.slope << ", in " << c.x;
    }
}

TEST (DynamicRangeCompressorComponent, DecibelSquareFillsTheComponentBesideTheLabelStrips)
{
    DynamicRangeCompressorComponent display;
    display.setSize (200, 130);
    const auto t = display.decibelsToPixels();

    const std::pair<juce::Point<float>, juce::Point<float>> cases[] = {
        { { -80.0f, 20.0f }, { 24.0f, 4.0f } }, { { 20.0f, -80.0f }, { 196.0f, 106.0f } },
        { { -82.0f, 0.0f }, { 20.56f, 24.4f } }, { { 0.0f, -82.0f }, { 161.6f, 108.04f } },
    };

    for (const auto& [db, px] : cases)
    {
        const auto p = db.transformedBy (t);
        EXPECT_NEAR (p.x, px.x, 1.0e-3) << db.toString();
        EXPECT_NEAR (p.y, px.y, 1.0e-3) << db.toString();
    }
}

TEST (DynamicRangeCompressorComponent, PaintsGridAxesCurveMaskAndLabels)
{
    DynamicRangeCompressorComponent palette;
    const auto& lf = palette.lookAndFeel;

    const auto diagonal = draw (-30.0f, 1.0f);
    // Grid in dark grey at -30 and -60 dB, axes in grey at 0 dB, the curve in near white.
    EXPECT_TRUE (PixelProbe::near (diagonal.getPixelAt (pixel (-70.0f, -30.0f).x, pixel (-70.0f, -30.0f).y), lf.c5, 40));
    EXPECT_TRUE (PixelProbe::near (diagonal.getPixelAt (pixel (-60.0f, 10.0f).x, pixel (-60.0f, 10.0f).y), lf.c5, 40));
    EXPECT_TRUE (PixelProbe::near (diagonal.getPixelAt (pixel (10.0f, 0.0f).x, pixel (10.0f, 0.0f).y), lf.c4, 40));
    EXPECT_TRUE (PixelProbe::near (diagonal.getPixelAt (pixel (0.0f, -70.0f).x, pixel (0.0f, -70.0f).y), lf.c4, 40));
    for (float x : { -75.0f, -45.0f, -15.0f, 15.0f })
        EXPECT_GT (PixelProbe::countNear (diagonal, juce::Rectangle<int> (3, 3).withCentre (pixel (x, x)), lf.c3, 60), 0) << x;

    // Slope 0 at 0 dB: the curve lies flat at 0 dB on the right, so nothing is lit above it.
    const auto flat = draw (0.0f, 0.0f);
    EXPECT_GT (PixelProbe::countNear (flat, juce::Rectangle<int> (3, 5).withCentre (pixel (15.0f, 0.0f)), lf.c3, 60), 0);
    EXPECT_EQ (PixelProbe::countNear (flat, juce::Rectangle<int> (5, 5).withCentre (pixel (15.0f, 15.0f)), lf.c3, 60), 0);

    // A falling curve leaves the square through the bottom, where the mask hides it; the input
    // labels stay readable on the mask.
    const auto falling = draw (-60.0f, -1.0f);
    EXPECT_EQ (PixelProbe::countNear (falling, { 0, 106, 200, 24 }, lf.c3, 60),
               PixelProbe::countNear (draw (-30.0f, 1.0f), { 0, 106, 200, 24 }, lf.c3, 60))
        << "the strip below the square holds the labels only";
    EXPECT_GT (PixelProbe::countNear (falling, { 147, 108, 30, 20 }, lf.c3, 60), 5) << "the input 0";
    EXPECT_GT (PixelProbe::countNear (falling, { 118, 108, 40, 20 }, lf.c4, 60), 5) << "the input -30";
    EXPECT_GT (PixelProbe::countNear (falling, { 0, 14, 21, 20 }, lf.c3, 60), 5) << "the output 0, right-aligned before the square";
    EXPECT_EQ (PixelProbe::countNear (falling, { 0, 0, 24, 10 }, lf.c3, 60), 0);
}
