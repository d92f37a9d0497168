#include <gtest/gtest.h>

#include "../../editor/LookAndFeel_KT.h"
#include "../support/PixelProbe.h"

namespace
{
    struct ToggleCase
    {
        int width, height;
        bool on, down;
        float knobX; // left edge of the 2(r - 4) wide knob
        float r;
    };

    class TogglePill : public ::testing::TestWithParam<ToggleCase> {};
}

TEST_P (TogglePill, KnobSitsAtTheEndOfTheStateItShowsOrIsAboutToTake)
{
    const auto c = GetParam();
    LookAndFeel_KT lf;
    juce::ToggleButton button;
    button.setSize (c.width, c.height);
    button.setToggleState (c.on, juce::dontSendNotification);

    auto image = PixelProbe::blank (c.width, c.height, juce::Colours::magenta);
    {
        juce::Graphics g (image);
        lf.drawToggleButton (g, button, false, c.down);
    }

    const float knob = 2.0f * (c.r - 4.0f);
    const int knobCentreX = juce::roundToInt (c.knobX + knob / 2.0f);
    const int knobCentreY = juce::roundToInt (6.0f + knob / 2.0f);
    const float otherX = c.knobX < 10.0f ? (float) c.width - 6.0f - knob : 6.0f;
    const int otherCentreX = juce::roundToInt (otherX + knob / 2.0f);

    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (knobCentreX, knobCentreY), lf.c0));
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (otherCentreX, knobCentreY), lf.c3));
    // The outer pill spans x 2 .. W - 2 and y 2 .. 2 + 2r; outside it nothing is drawn.
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (c.width / 2, 2), lf.c0));
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (c.width / 2, 0), juce::Colours::magenta));
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (0, c.height / 2), juce::Colours::magenta));
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (c.width / 2, (int) (2.0f + 2.0f * c.r) + 1), juce::Colours::magenta));
}

INSTANTIATE_TEST_SUITE_P (Switches, TogglePill, ::testing::Values (
    ToggleCase { 40, 20, false, false, 6.0f, 8.0f },
    ToggleCase { 40, 20, true, false, 26.0f, 8.0f },
    ToggleCase { 40, 20, false, true, 26.0f, 8.0f },
    ToggleCase { 40, 20, true, true, 6.0f, 8.0f },
    ToggleCase { 44, 21, false, false, 6.0f, 8.0f },
    ToggleCase { 44, 21, true, false, 30.0f, 8.0f }));

TEST (RotaryKnob, AngleRunsFromMinusPointEightPiThroughZeroWithTheDefaultRange)
{
    const float pi = juce::MathConstants<float>::pi;
    EXPECT_NEAR (LookAndFeel_KT::rotaryAngle (0.0f, 1.2f * pi, 2.8f * pi), -0.8f * pi, 1e-5f);
    EXPECT_NEAR (LookAndFeel_KT::rotaryAngle (0.5f, 1.2f * pi, 2.8f * pi), 0.0f, 1e-5f);
    EXPECT_NEAR (LookAndFeel_KT::rotaryAngle (1.0f, 1.2f * pi, 2.8f * pi), 0.8f * pi, 1e-5f);
}

TEST (RotaryKnob, ArcCoversOnlyTheSweepBetweenTheAngleAndTwelveOClock)
{
    const float pi = juce::MathConstants<float>::pi;
    LookAndFeel_KT lf;
    juce::Slider slider;

    const auto render = [&] (float position)
    {
        auto image = PixelProbe::blank (100, 100, juce::Colours::magenta);
        juce::Graphics g (image);
        lf.drawRotarySlider (g, 0, 0, 100, 100, position, 1.2f * pi, 2.8f * pi, slider);
        return image;
    };
    // R = 46, the arc is stroked at radius 42 with width 4.
    const auto onRing = [] (const juce::Image& image, float angle)
    {
        return image.getPixelAt (juce::roundToInt (50.0f + 42.0f * std::sin (angle)),
                                 juce::roundToInt (50.0f - 42.0f * std::cos (angle)));
    };

    const auto atStart = render (0.0f);
    EXPECT_TRUE (PixelProbe::near (onRing (atStart, -0.4f * pi), lf.c0));
    EXPECT_TRUE (PixelProbe::near (onRing (atStart, 0.4f * pi), lf.c3));
    EXPECT_TRUE (PixelProbe::near (onRing (atStart, pi), lf.c3));

    const auto atMiddle = render (0.5f);
    EXPECT_TRUE (PixelProbe::near (onRing (atMiddle, -0.4f * pi), lf.c3));
    EXPECT_TRUE (PixelProbe::near (onRing (atMiddle, 0.4f * pi), lf.c3));

    // The pointer dot lies R - 13 = 33 px from the centre, towards the knob's angle.
    EXPECT_TRUE (PixelProbe::near (atMiddle.getPixelAt (50, 50 - 33), lf.c3));
    EXPECT_TRUE (PixelProbe::near (atMiddle.getPixelAt (50, 50 + 33), lf.c0));
}

TEST (LookAndFeelFonts, MonoFontsAreAlwaysTwentyHighAndEveryGetterSharesOneFont)
{
    EXPECT_FLOAT_EQ (LookAndFeel_KT::getRobotoMonoBold (12.0f).getHeight(), 20.0f);
    EXPECT_FLOAT_EQ (LookAndFeel_KT::getRobotoMonoRegular (40.0f).getHeight(), 20.0f);

    auto& first = LookAndFeel_KT::getRobotoRegular (24.0f);
    auto& second = LookAndFeel_KT::getRobotoRegular (16.0f);
    EXPECT_EQ (&first, &second);
    EXPECT_FLOAT_EQ (first.getHeight(), 16.0f);
}

TEST (LookAndFeelFonts, EveryGetterUsesItsEmbeddedRobotoFace)
{
    struct Case { juce::Font font; const char* family; const char* style; };
    const Case cases[] = {
        { LookAndFeel_KT::getRobotoLight (20.0f), "Roboto", "Light" },
        { LookAndFeel_KT::getRobotoRegular (20.0f), "Roboto", "Regular" },
        { LookAndFeel_KT::getRobotoMedium (20.0f), "Roboto", "Medium" },
        { LookAndFeel_KT::getRobotoMonoRegular (20.0f), "Roboto Mono", "Regular" },
        { LookAndFeel_KT::getRobotoMonoBold (20.0f), "Roboto Mono", "Bold" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.family + juce::String (" ") + c.style);
        ASSERT_NE (c.font.getTypefacePtr(), nullptr);
        EXPECT_EQ (c.font.getTypefacePtr()->getName(), c.family);
        EXPECT_EQ (c.font.getTypefacePtr()->getStyle(), c.style);
    }

    // A monospaced face: every glyph advances by the width of one blank.
    const auto mono = LookAndFeel_KT::getRobotoMonoBold (20.0f);
    EXPECT_FLOAT_EQ (mono.getStringWidthFloat ("iiii"), mono.getStringWidthFloat ("WWWW"));
}

TEST (LookAndFeelPalette, HoldsTheFourteenColoursAndTheFrameworkSettings)
{
    LookAndFeel_KT lf;
    const juce::uint32 expected[] = { 0xff141414, 0xff141414, 0xff1b1b1b, 0xfff0f0f0, 0xff808080, 0xff303030, 0xff111111,
                                      0xffe84f4f, 0xffc2d846, 0xfffed766, 0xff6fadec, 0xffab72dd, 0xffffffff, 0xffd0d0d0 };
    const juce::Colour palette[] = { lf.c0, lf.c1, lf.c2, lf.c3, lf.c4, lf.c5, lf.c6, lf.c7, lf.c8, lf.c9, lf.c10, lf.c11, lf.c12, lf.c13 };

    for (size_t i = 0; i < std::size (expected); ++i)
        EXPECT_EQ (palette[i].getARGB(), expected[i]) << "c" << i;

    EXPECT_EQ (lf.findColour (juce::ResizableWindow::backgroundColourId), juce::Colours::white);
    EXPECT_EQ (lf.findColour (juce::Slider::thumbColourId), juce::Colours::black);
    EXPECT_EQ (lf.findColour (juce::Slider::rotarySliderFillColourId), juce::Colours::white);
    EXPECT_EQ (lf.findColour (juce::ToggleButton::tickColourId), juce::Colours::white);
}
