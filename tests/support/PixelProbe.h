#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// Small helpers for checking rendered pixels in the editor's tests.
namespace PixelProbe
{
    inline juce::Image blank (int width, int height, juce::Colour fill = juce::Colours::transparentBlack)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics (image).fillAll (fill);
        return image;
    }

    inline bool near (juce::Colour a, juce::Colour b, int tolerance = 2)
    {
        return std::abs (a.getRed() - b.getRed()) <= tolerance
            && std::abs (a.getGreen() - b.getGreen()) <= tolerance
            && std::abs (a.getBlue() - b.getBlue()) <= tolerance
            && std::abs (a.getAlpha() - b.getAlpha()) <= tolerance;
    }

    inline int count (const juce::Image& image, juce::Rectangle<int> area, const std::function<bool (juce::Colour)>& matches)
    {
        int found = 0;
        area = area.getIntersection (image.getBounds());

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (matches (image.getPixelAt (x, y)))
                    ++found;

        return found;
    }

    inline int countNear (const juce::Image& image, juce::Rectangle<int> area, juce::Colour colour, int tolerance = 2)
    {
        return count (image, area, [&] (juce::Colour c) { return near (c, colour, tolerance); });
    }

    // Pixels that differ from a given background, i.e. where something was drawn.
    inline int countInk (const juce::Image& image, juce::Rectangle<int> area, juce::Colour background)
    {
        return count (image, area, [&] (juce::Colour c) { return ! near (c, background, 8); });
    }

    // True when every pixel of the area is (nearly) the colour.
    inline bool filled (const juce::Image& image, juce::Rectangle<int> area, juce::Colour colour)
    {
        return countNear (image, area, colour) == area.getWidth() * area.getHeight();
    }

    inline juce::MouseEvent mouseEvent (juce::Component& component, juce::Point<float> position, bool dragged)
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position,
                                 juce::ModifierKeys(), 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                 &component, &component, now, position, now, 1, dragged);
    }
}
