#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "support/MessagePump.h"

/** Drives controls with mouse events as a user's hand would, without a window: faders through
    their own mouse handlers, buttons through the click path a mouse-up takes. */
namespace SyntheticMouse
{
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

    /** The three parts of a gesture, one event each, for components that act on every event
        (a press with any buttons, a drag to a point, a release). */
    inline void press (juce::Component& component, juce::Point<float> at, juce::ModifierKeys buttons = leftButton())
    {
        component.mouseDown (event (component, at, buttons));
    }

    inline void dragTo (juce::Component& component, juce::Point<float> at, juce::ModifierKeys buttons = leftButton())
    {
        component.mouseDrag (event (component, at, buttons, 1, true));
    }

    inline void release (juce::Component& component, juce::Point<float> at)
    {
        component.mouseUp (event (component, at, {}, 1, true));
    }

    /** Presses at one point, moves in steps to another and releases there. */
    inline void drag (juce::Component& component, juce::Point<float> from, juce::Point<float> to, int steps = 8)
    {
        component.mouseDown (event (component, from, leftButton()));

        for (int i = 1; i <= steps; ++i)
            component.mouseDrag (event (component, from + (to - from) * ((float) i / (float) steps), leftButton(), 1, true));

        component.mouseUp (event (component, to, {}, 1, true));
    }

    /** A press and release in one place, with modifier keys held (Alt for a fader's reset). */
    inline void click (juce::Component& component, juce::Point<float> at, juce::ModifierKeys held = {})
    {
        component.mouseDown (event (component, at, leftButton (held)));
        component.mouseUp (event (component, at, held));
    }

    inline void doubleClick (juce::Component& component, juce::Point<float> at)
    {
        click (component, at);
        component.mouseDown (event (component, at, leftButton(), 2));
        component.mouseDoubleClick (event (component, at, leftButton(), 2));
        component.mouseUp (event (component, at, {}, 2));
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
}
