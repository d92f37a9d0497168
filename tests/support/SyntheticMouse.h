#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Mouse events built by hand and handed straight to a component's handlers, with the buttons
// that a real press or drag would report.
namespace SyntheticMouse
{
    inline const juce::ModifierKeys leftButton { juce::ModifierKeys::leftButtonModifier };
    inline const juce::ModifierKeys rightButton { juce::ModifierKeys::rightButtonModifier };
    inline const juce::ModifierKeys middleButton { juce::ModifierKeys::middleButtonModifier };

    inline juce::MouseEvent event (juce::Component& target, juce::Point<float> at, juce::ModifierKeys mods, bool dragged)
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), at, mods,
                                 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &target, &target, now, at, now, 1, dragged);
    }

    inline void press (juce::Component& target, juce::Point<float> at, juce::ModifierKeys mods = leftButton)
    {
        target.mouseDown (event (target, at, mods, false));
    }

    inline void drag (juce::Component& target, juce::Point<float> at, juce::ModifierKeys mods = leftButton)
    {
        target.mouseDrag (event (target, at, mods, true));
    }

    inline void release (juce::Component& target, juce::Point<float> at)
    {
        target.mouseUp (event (target, at, {}, true));
    }
}
