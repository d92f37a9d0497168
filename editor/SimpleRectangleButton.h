#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A flat framed text button. In the state style the frame and text light up while it is on;
// in the cross style the text stays quiet and the frame gains its diagonals on hover, on or press.
class SimpleRectangleButton : public juce::Button
{
public:
    explicit SimpleRectangleButton (const juce::String& text) : juce::Button (text) {}

    ~SimpleRectangleButton() override = default;

    void resized() override {}

    void paintButton (juce::Graphics& g, bool isHighlighted, bool) override
    {
        const bool on = getToggleState();
        // The framework's down flag also covers a click in flight; the frame follows the real press.
        const bool pressed = getState() == juce::Button::buttonDown;
        const auto bounds = getLocalBounds().toFloat();

        const auto drawFrame = [&] (juce::Colour colour)
        {
            g.setColour (colour);
            g.drawRect (bounds, 1.0f);
        };
        const auto drawText = [&] (juce::Colour colour)
        {
            g.setColour (colour);
            g.drawText (getButtonText(), bounds, juce::Justification::centred, true);
        };
        const auto drawCross = [&] (juce::Colour colour)
        {
            g.setColour (colour);
            g.drawLine (0.0f, 0.0f, bounds.getWidth(), bounds.getHeight(), 1.0f);
            g.drawLine (0.0f, bounds.getHeight(), bounds.getWidth(), 0.0f, 1.0f);
        };

        if (showsState)
        {
            drawFrame (on || pressed ? activeColour : normalColour);
            drawText (isHighlighted || on || pressed ? activeColour : normalColour);
        }
        else if (showsCross)
        {
            drawText (normalColour);

            if (! (isHighlighted || on || pressed))
            {
                drawFrame (normalColour);
                return;
            }

            const auto colour = pressed ? activeColour : normalColour;
            drawFrame (colour);
            drawCross (colour);
        }
        else
        {
            drawFrame (normalColour);
            drawText (normalColour);
            drawCross (normalColour);
        }
    }

    bool showsState = false;
    bool showsCross = false;
    juce::Colour normalColour { 0xff808080 };
    juce::Colour activeColour { 0xffffffff };
};
