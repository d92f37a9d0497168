#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "support/MessagePump.h"

/** Drives controls with mouse events as a user's hand would, without a window: faders through
    their own mouse handlers, buttons through the click path a mouse-up takes. As the framework
    does, a mouse-up reports the button that was released. */
namespace SyntheticMouse
{
    inline const juce::ModifierKeys left { juce::ModifierKeys::leftButtonModifier };
    inline const juce::ModifierKeys right { juce::ModifierKeys::rightButtonModifier };

    inline juce::MouseEvent event (juce::Component& component, juce::Point<float> position, juce::ModifierKeys mods,
                                   int clicks = 1, bool dragged = false)
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, mods, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                 &component, &component, now, position, now, clicks, dragged);
    }

    inline juce::ModifierKeys leftButton (juce::ModifierKeys extra = {})
    {
        return extra.withFlags (juce::ModifierKeys::leftButtonModifier);
    }

    /** Presses at one point, moves in steps to another and releases there. */
    inline void drag (juce::Component& component, juce::Point<float> from, juce::Point<float> to, int steps = 8)
    {
        component.mouseDown (event (component, from, leftButton()));

        for (int i = 1; i <= steps; ++i)
            component.mouseDrag (event (component, from + (to - from) * ((float) i / (float) steps), leftButton(), 1, true));

        component.mouseUp (event (component, to, leftButton(), 1, true));
    }

    /** A press and release in one place, with modifier keys held (Alt for a fader's reset). */
    inline void click (juce::Component& component, juce::Point<float> at, juce::ModifierKeys held = {})
    {
        component.mouseDown (event (component, at, leftButton (held)));
        component.mouseUp (event (component, at, leftButton (held)));
    }

    inline void doubleClick (juce::Component& component, juce::Point<float> at)
    {
        click (component, at);
        component.mouseDown (event (component, at, leftButton(), 2));
        component.mouseDoubleClick (event (component, at, leftButton(), 2));
        component.mouseUp (event (component, at, leftButton(), 2));
    }

    /** Clicks a button the way a mouse-up over it does (the framework's own click path, with its
        press flash) and waits until the click has been delivered. */
    inline bool clickButton (juce::Button& button)
    {
        struct Delivery : juce::Button::Listener
        {
            void buttonClicked (juce::Button*) override { delivered = true; }
            bool delivered = false;
        } delivery;

        juce::Component::SafePointer<juce::Button> safe (&button);
        button.addListener (&delivery);
        button.triggerClick(); // posted, as the framework posts it
        const bool delivered = MessagePump::runUntil ([&] { return safe == nullptr || delivery.delivered; }, 10000);

        if (safe != nullptr)
            safe->removeListener (&delivery);

        return delivered;
    }

    // Single events, for components that act on hover and on each step of a drag (the curve editor).
    inline void press (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods = left) { c.mouseDown (event (c, p, mods)); }
    inline void move (juce::Component& c, juce::Point<float> p) { c.mouseMove (event (c, p, {})); }
    inline void dragTo (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods = left) { c.mouseDrag (event (c, p, mods, 1, true)); }
    inline void release (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods, int clicks) { c.mouseUp (event (c, p, mods, clicks)); }

    /** Hovers, presses, drags in one step and releases. */
    inline void hoverAndDrag (juce::Component& c, juce::Point<float> from, juce::Point<float> to)
    {
        move (c, from);
        c.mouseDown (event (c, from, left));
        dragTo (c, to);
        release (c, to, left, 1);
    }

    inline void hoverAndDoubleClick (juce::Component& c, juce::Point<float> p)
    {
        move (c, p);
        doubleClick (c, p);
    }

    inline void hoverAndRightClick (juce::Component& c, juce::Point<float> p)
    {
        move (c, p);
        c.mouseDown (event (c, p, right));
        release (c, p, right, 1);
    }
}
