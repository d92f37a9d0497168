#include "XTestPointer.h"

#if JUCE_LINUX
 #include <X11/Xlib.h>
 #include <X11/extensions/XTest.h>
 #include <X11/keysym.h>

struct XTestPointer::Connection
{
    Display* display = nullptr;
    bool hasExtension = false;
};

namespace
{
::Window windowOf (void* nativeWindow) { return (::Window) (juce::pointer_sized_uint) nativeWindow; }
} // namespace

XTestPointer::XTestPointer() : connection (std::make_unique<Connection>())
{
    connection->display = XOpenDisplay (nullptr);

    if (connection->display != nullptr)
    {
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        connection->hasExtension = XTestQueryExtension (connection->display, &eventBase, &errorBase, &major, &minor) != 0;
    }
}

XTestPointer::~XTestPointer()
{
    if (connection->display != nullptr)
        XCloseDisplay (connection->display);
}

bool XTestPointer::isAvailable (juce::String& reason) const
{
    if (connection->display == nullptr)
        reason = "no X display (run under xvfb-run)";
    else if (! connection->hasExtension)
        reason = "the X server has no test extension";

    return connection->display != nullptr && connection->hasExtension;
}

void XTestPointer::moveTo (juce::Point<int> position)
{
    XTestFakeMotionEvent (connection->display, -1, position.x, position.y, CurrentTime);
}

void XTestPointer::press (int button)   { XTestFakeButtonEvent (connection->display, (unsigned int) button, True, CurrentTime); }
void XTestPointer::release (int button) { XTestFakeButtonEvent (connection->display, (unsigned int) button, False, CurrentTime); }

void XTestPointer::holdAlt (bool down)
{
    const auto keycode = XKeysymToKeycode (connection->display, XK_Alt_L);
    XTestFakeKeyEvent (connection->display, keycode, down ? True : False, CurrentTime);
}

void XTestPointer::sync()
{
    XSync (connection->display, False);
}

juce::Point<int> XTestPointer::toRoot (void* nativeWindow, juce::Point<int> local) const
{
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates (connection->display, windowOf (nativeWindow), DefaultRootWindow (connection->display),
                           local.x, local.y, &x, &y, &child);
    return { x, y };
}

bool XTestPointer::showsChildWindowAt (void* nativeWindow, juce::Point<int> local, int width, int height) const
{
    // Descends from the native window through the children under the point.
    auto* display = connection->display;
    ::Window current = windowOf (nativeWindow);
    int x = local.x, y = local.y;

    for (int depth = 0; depth < 16; ++depth)
    {
        ::Window child = 0;
        int childX = 0, childY = 0;

        if (! XTranslateCoordinates (display, current, current, x, y, &childX, &childY, &child) || child == 0)
            return false;

        XWindowAttributes attributes {};

        if (! XGetWindowAttributes (display, child, &attributes) || attributes.map_state != IsViewable)
            return false;

        int inChildX = 0, inChildY = 0;
        ::Window unused = 0;
        XTranslateCoordinates (display, current, child, x, y, &inChildX, &inChildY, &unused);

        if (attributes.width == width && attributes.height == height && depth > 0)
            return true;

        current = child;
        x = inChildX;
        y = inChildY;
    }

    return false;
}

#else

struct XTestPointer::Connection {};

XTestPointer::XTestPointer() : connection (std::make_unique<Connection>()) {}
XTestPointer::~XTestPointer() = default;

bool XTestPointer::isAvailable (juce::String& reason) const
{
    reason = "real pointer events need the X test extension (Linux)";
    return false;
}

void XTestPointer::moveTo (juce::Point<int>) {}
void XTestPointer::press (int) {}
void XTestPointer::release (int) {}
void XTestPointer::holdAlt (bool) {}
void XTestPointer::sync() {}
juce::Point<int> XTestPointer::toRoot (void*, juce::Point<int> local) const { return local; }
bool XTestPointer::showsChildWindowAt (void*, juce::Point<int>, int, int) const { return false; }

#endif
