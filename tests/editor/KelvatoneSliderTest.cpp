#include <gtest/gtest.h>

#include "../../editor/KelvatoneSlider.h"
#include "../support/PixelProbe.h"

namespace
{
    struct FaderCase
    {
        const char* name;
        int x, y, width, height;
        float sliderPos;
        std::vector<juce::Rectangle<int>> bars;
    };

    class FaderGeometry : public ::testing::TestWithParam<FaderCase> {};

    const juce::Colour ink { 0xffffffff };
}

TEST_P (FaderGeometry, DrawsExactlyTheCapsTrackBarAndThumb)
{
    const auto& c = GetParam();
    KelvatoneSlider fader (juce::Colours::black, ink, true, juce::Slider::NoTextBox, nullptr);

    auto image = PixelProbe::blank (80, 160);
    {
        juce::Graphics g (image);
        fader.drawLinearSlider (g, c.x, c.y, c.width, c.height, c.sliderPos, 0.0f, 0.0f,
                                juce::Slider::LinearVertical, fader);
    }

    juce::RectangleList<int> expected;
    int area = 0;

    for (const auto& bar : c.bars)
    {
        EXPECT_TRUE (PixelProbe::filled (image, bar, ink)) << bar.toString();
        expected.addWithoutMerging (bar);
        area += bar.getWidth() * bar.getHeight();
    }

    EXPECT_EQ (PixelProbe::countNear (image, image.getBounds(), ink), area) << "nothing else is drawn";
}

INSTANTIATE_TEST_SUITE_P (WorkedExamples, FaderGeometry, ::testing::Values (
    FaderCase { "middle", 0, 10, 40, 100, 60.0f,
                { { 8, 7, 24, 2 }, { 8, 111, 24, 2 }, { 19, 12, 2, 44 }, { 15, 64, 10, 44 }, { 11, 59, 18, 2 } } },
    FaderCase { "nearTopHasNoTrack", 0, 10, 40, 100, 15.0f,
                { { 8, 7, 24, 2 }, { 8, 111, 24, 2 }, { 15, 19, 10, 89 }, { 11, 14, 18, 2 } } },
    FaderCase { "nearBottomHasNoBar", 0, 10, 40, 100, 106.0f,
                { { 8, 7, 24, 2 }, { 8, 111, 24, 2 }, { 19, 12, 2, 90 }, { 11, 105, 18, 2 } } },
    FaderCase { "oddWidthCentresOnTheLowerHalf", 5, 10, 41, 100, 60.0f,
                { { 13, 7, 24, 2 }, { 13, 111, 24, 2 }, { 24, 12, 2, 44 }, { 20, 64, 10, 44 }, { 16, 59, 18, 2 } } }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (KelvatoneSlider, HoverEchoesTheTooltipOnlyWhenThereIsOneAndAConsole)
{
    CommandLineInterpreter console;
    console.echo ("before");
    console.newMessage = false;

    KelvatoneSlider withConsole (juce::Colours::black, ink, true, juce::Slider::NoTextBox, &console);
    withConsole.setSize (40, 100);
    withConsole.mouseMove (PixelProbe::mouseEvent (withConsole, { 5.0f, 5.0f }, false));
    EXPECT_FALSE (console.newMessage) << "empty tooltip";

    KelvatoneSlider withoutConsole (juce::Colours::black, ink, true, juce::Slider::NoTextBox, nullptr);
    withoutConsole.tooltip = "`1ignored";
    withoutConsole.mouseMove (PixelProbe::mouseEvent (withoutConsole, { 5.0f, 5.0f }, false));
    EXPECT_FALSE (console.newMessage) << "no console";

    withConsole.tooltip = "`2[Time]`0 delay";
    withConsole.mouseMove (PixelProbe::mouseEvent (withConsole, { 5.0f, 5.0f }, false));
    EXPECT_TRUE (console.newMessage);
    EXPECT_EQ (std::string (console.text), "[Time] delay");
}

TEST (KelvatoneSlider, TextBoxShowsTheValueInTheFaderColourWithoutBackgroundOrOutline)
{
    KelvatoneSlider fader (juce::Colour (0xff141414), ink, true, juce::Slider::TextBoxBelow, nullptr);
    std::unique_ptr<juce::Label> box (fader.createSliderTextBox (fader));

    EXPECT_EQ (box->findColour (juce::Label::textColourId), ink);
    EXPECT_EQ (box->findColour (juce::Label::backgroundColourId).getAlpha(), 0);
    EXPECT_EQ (box->findColour (juce::Label::outlineColourId).getAlpha(), 0);
    EXPECT_EQ (fader.getSliderStyle(), juce::Slider::LinearVertical);
}
