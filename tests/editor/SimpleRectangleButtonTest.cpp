#include <gtest/gtest.h>

#include "../../editor/LookAndFeel_KT.h"
#include "../../editor/SimpleRectangleButton.h"
#include "../support/PixelProbe.h"

namespace
{
    const juce::Colour normal { 0xff808080 };
    const juce::Colour active { 0xfffed766 };
    const juce::Colour none { 0 };

    struct ButtonCase
    {
        const char* name;
        bool showsState, showsCross;
        bool hover, on, pressed;
        juce::Colour frame, text, diagonals; // `none`: not drawn
    };

    class ButtonLook : public ::testing::TestWithParam<ButtonCase> {};
}

TEST_P (ButtonLook, FrameTextAndDiagonalsTakeTheColoursOfTheState)
{
    const auto& c = GetParam();
    SimpleRectangleButton button ("Load");
    button.showsState = c.showsState;
    button.showsCross = c.showsCross;
    button.normalColour = normal;
    button.activeColour = active;
    button.setSize (60, 24);
    button.setToggleState (c.on, juce::dontSendNotification);
    button.setState (c.pressed ? juce::Button::buttonDown : juce::Button::buttonNormal);

    auto image = PixelProbe::blank (60, 24, juce::Colours::black);
    {
        juce::Graphics g (image);
        g.setFont (LookAndFeel_KT::getRobotoRegular (16.0f));
        button.paintButton (g, c.hover, false);
    }

    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (30, 0), c.frame)) << "top edge";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (0, 12), c.frame)) << "left edge";

    // A point on the top-left to bottom-right diagonal, clear of the centred text.
    const auto onDiagonal = image.getPixelAt (10, 4);
    if (c.diagonals == none)
        EXPECT_TRUE (PixelProbe::near (onDiagonal, juce::Colours::black, 40));
    else
        EXPECT_GT (onDiagonal.getBrightness(), 0.2f);

    const auto textArea = juce::Rectangle<int> (16, 5, 28, 14);
    EXPECT_GT (PixelProbe::countNear (image, textArea, c.text, 12), 4) << "text colour";
    // Diagonals of the other colour cross the text area, so only without them is it free of it.
    const auto other = c.text == normal ? active : normal;
    if (c.diagonals == none || c.diagonals == c.text)
    {
        EXPECT_EQ (PixelProbe::countNear (image, textArea, other, 12), 0) << "no other text colour";
    }
}

INSTANTIATE_TEST_SUITE_P (States, ButtonLook, ::testing::Values (
    ButtonCase { "stateOffIdle", true, false, false, false, false, normal, normal, none },
    ButtonCase { "stateOffHover", true, false, true, false, false, normal, active, none },
    ButtonCase { "stateOn", true, false, false, true, false, active, active, none },
    ButtonCase { "stateOnHover", true, false, true, true, false, active, active, none },
    ButtonCase { "statePressed", true, false, false, false, true, active, active, none },
    ButtonCase { "crossIdle", false, true, false, false, false, normal, normal, none },
    ButtonCase { "crossHover", false, true, true, false, false, normal, normal, normal },
    ButtonCase { "crossOn", false, true, false, true, false, normal, normal, normal },
    ButtonCase { "crossPressed", false, true, true, false, true, active, normal, active },
    ButtonCase { "neither", false, false, false, false, false, normal, normal, normal }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (SimpleRectangleButton, TextWiderThanTheButtonIsCutWithAnEllipsisInsideTheFrame)
{
    SimpleRectangleButton button ("A much longer label than fits");
    button.showsState = true;
    button.normalColour = normal;
    button.activeColour = active;
    button.setSize (50, 24);

    auto image = PixelProbe::blank (70, 24, juce::Colours::black);
    {
        juce::Graphics g (image);
        g.setFont (LookAndFeel_KT::getRobotoRegular (16.0f));
        button.paintButton (g, false, false);
    }

    EXPECT_EQ (PixelProbe::countInk (image, { 51, 0, 19, 24 }, juce::Colours::black), 0);
}
