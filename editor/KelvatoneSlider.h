#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

#include "../processor/CommandLineInterpreter.h"

// The one fader of the product: flat bars in a single colour, a transparent value box, and a
// hover line written to the console. It is its own look-and-feel, so its drawing applies to it alone.
class KelvatoneSlider : public juce::Slider,
                        public juce::LookAndFeel_V4
{
public:
    KelvatoneSlider (juce::Colour background, juce::Colour slider, bool flag,
                     juce::Slider::TextEntryBoxPosition textBoxPosition, CommandLineInterpreter* consoleToUse)
        : juce::Slider (juce::Slider::LinearVertical, textBoxPosition),
          ownerFlag (flag),
          backgroundColour (background),
          sliderColour (slider),
          console (consoleToUse)
    {
        juce::Slider::setLookAndFeel (this);
    }

    ~KelvatoneSlider() override
    {
        juce::Slider::setLookAndFeel (nullptr);
    }

    // Every move re-posts the line, which restarts the console's fade.
    void mouseMove (const juce::MouseEvent&) override
    {
        if (! tooltip.empty() && console != nullptr)
            console->echo (tooltip);
    }

    void drawLinearSlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                           float, float, juce::Slider::SliderStyle, juce::Slider&) override
    {
        g.setColour (sliderColour);

        const int cx = x + width / 2;
        const int p = (int) sliderPos;
        const int bottom = y + height;

        g.fillRect (cx - 12, y - 3, 24, 2);
        g.fillRect (cx - 12, bottom + 1, 24, 2);

        if (p - y - 3 >= 4)
            g.fillRect (cx - 1, y + 2, 2, juce::jmin (height, p - y - 6));

        if (bottom - p - 3 >= 4)
            g.fillRect (cx - 5, p + 4, 10, juce::jmin (height, bottom - p - 6));

        g.fillRect (cx - 9, (int) (sliderPos - 1.0f), 18, 2);
    }

    juce::Label* createSliderTextBox (juce::Slider& slider) override
    {
        auto* label = juce::LookAndFeel_V4::createSliderTextBox (slider);
        label->setColour (juce::Label::textColourId, sliderColour);
        label->setColour (juce::Label::backgroundColourId, backgroundColour.withAlpha ((juce::uint8) 0));
        label->setColour (juce::Label::outlineColourId, backgroundColour.withAlpha ((juce::uint8) 0));
        return label;
    }

    bool ownerFlag;
    juce::Colour backgroundColour;
    juce::Colour sliderColour;
    std::string tooltip;
    CommandLineInterpreter* console;
};
