#pragma once

#include <juce_graphics/juce_graphics.h>

/** A real pointer and keyboard on the X display the tests run on (Xvfb): motion, button and key
    events made by the X test extension, so that a plug-in's window receives them from the X
    server exactly as it receives a user's (keys go to the window that holds the keyboard focus).
    Unavailable off Linux or without a display. */
class XTestPointer
{
public:
    XTestPointer();
    ~XTestPointer();

    /** Whether a window can be shown at all: on Linux, whether the X display opens. The framework
        does not check this itself; a window opened without one crashes the process. */
    static bool hasDisplay();

    /** False without a display or without the test extension; say why in reason. */
    bool isAvailable (juce::String& reason) const;

    // Positions are in the root window's pixels.
    void moveTo (juce::Point<int> position);
    void press (int button);   // 1 left, 2 middle, 3 right
    void release (int button);
    void holdAlt (bool down);

    /** Types the text key by key, holding Shift where the keyboard map puts a character on a key's
        second level. False, having typed nothing, when a character is on no key. */
    bool type (const juce::String& text);

    /** Presses and releases a key by its X name ("Return", "Escape", "BackSpace", "a"), with
        "ctrl+", "shift+" or "alt+" in front to hold those meanwhile. False for a name X does
        not know. */
    bool pressKey (const juce::String& name);

    /** The colour the screen shows at a root-window position: what the user sees there. */
    juce::Colour colourAt (juce::Point<int> position) const;

    /** Sends the queued events to the server and waits until it has processed them. */
    void sync();

    /** Root-window position of a point given in a native window's own pixels. */
    juce::Point<int> toRoot (void* nativeWindow, juce::Point<int> local) const;

    /** True once a mapped, viewable window of that size lies inside the native window at the
        point (window pixels), other than the native window itself: the plug-in's own window,
        ready to take pointer events. */
    bool showsChildWindowAt (void* nativeWindow, juce::Point<int> local, int width, int height) const;

private:
    struct Connection;
    std::unique_ptr<Connection> connection;

    JUCE_DECLARE_NON_COPYABLE (XTestPointer)
};
