#pragma once

#include <juce_graphics/juce_graphics.h>

#include <map>
#include <memory>

/** Plain X windows, made on a display connection of the test host's own, for a plug-in's editor
    view to be attached to (kPlatformTypeX11EmbedWindowID) as a DAW attaches it to a window of its
    own; and what the screen shows where they are. Windows are named by their X id; all that are
    left go with the object. Unavailable off Linux or without a display.

    While it lives, an X error of any connection in the process is counted rather than fatal, as
    a DAW's GUI toolkit has it: a plug-in's framework leaves errors to its host, and Xlib's own
    handler would end the process at the first. On a virtual display without a window manager
    there are many: the framework looks the manager's atoms up rather than making them, and sets
    and reads window properties with the missing ones. That is kept so on purpose: an error on a
    connection that two threads use at once is where libX11 deadlocks. */
class XParentWindows
{
public:
    XParentWindows();
    ~XParentWindows();

    bool isAvailable() const;

    /** The X errors counted so far. */
    static int getErrors();

    /** A mapped window with a black background at that area of the root window; 0 when none can
        be made. */
    unsigned long create (juce::Rectangle<int> area);

    void map (unsigned long window);
    void unmap (unsigned long window);

    /** The number of distinct colours the screen shows over the window's area, on a grid of
        points 3 pixels apart: 1 for an empty window, many for a drawn editor. */
    int distinctColours (unsigned long window) const;

private:
    struct Connection;
    std::unique_ptr<Connection> connection;
    std::map<unsigned long, juce::Rectangle<int>> windows;

    JUCE_DECLARE_NON_COPYABLE (XParentWindows)
};
