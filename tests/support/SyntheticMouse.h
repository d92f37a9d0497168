#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Mouse events built by hand and handed straight to a component's handlers, with the buttons and
// the click count a real gesture would carry (the framework reports the released buttons in
// mouseUp).
namespace SyntheticMouse
{
    inline const juce::ModifierKeys none {};
    inline const juce::ModifierKeys left { juce::ModifierKeys::leftButtonModifier };
    inline const juce::ModifierKeys right { juce::ModifierKeys::rightButtonModifier };

    inline juce::MouseEvent event (juce::Component& component, juce::Point<float> position,
                                   juce::ModifierKeys mods = {}, int clicks = 1, bool dragged = false)
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, mods,
                                 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &component, &component, now, position, now,
                                 clicks, dragged);
    }

    inline void move (juce::Component& c, juce::Point<float> p)  { c.mouseMove (event (c, p)); }
    inline void drag (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods = left) { c.mouseDrag (event (c, p, mods, 1, true)); }
    inline void up (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods, int clicks) { c.mouseUp (event (c, p, mods, clicks)); }

    // Hover, press and drag to a point, release: what a user's drag sends.
    inline void dragFromTo (juce::Component& c, juce::Point<float> from, juce::Point<float> to)
    {
        move (c, from);
        c.mouseDown (event (c, from, left));
        drag (c, to);
        up (c, to, left, 1);
    }

    // A left click; through Component, since buttons keep their handlers protected.
    inline void click (juce::Component& c, juce::Point<float> p)
    {
        c.mouseDown (event (c, p, left));
        c.mouseUp (event (c, p, left));
    }

    inline void doubleClick (juce::Component& c, juce::Point<float> p)
    {
        move (c, p);
        up (c, p, left, 1);
        up (c, p, left, 2);
    }

    inline void rightClick (juce::Component& c, juce::Point<float> p)
    {
        move (c, p);
        up (c, p, right, 1);
    }
}
