#include "XTestPointer.h"

#if JUCE_LINUX
 #include <X11/Xlib.h>
 #include <X11/Xutil.h>
 #include <X11/extensions/XTest.h>
 #include <X11/keysym.h>

 #include <vector>

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

bool XTestPointer::hasDisplay()
{
    auto* display = XOpenDisplay (nullptr);

    if (display == nullptr)
        return false;

    XCloseDisplay (display);
    return true;
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

namespace
{
struct KeyStroke
{
    KeyCode code = 0;
    bool shifted = false;
};

// The key and level on which the keyboard map carries the symbol; a code of 0 when none does.
KeyStroke strokeFor (Display* display, KeySym symbol)
{
    KeyStroke stroke;
    stroke.code = XKeysymToKeycode (display, symbol);

    if (stroke.code != 0)
    {
        int perCode = 0;
        KeySym* map = XGetKeyboardMapping (display, stroke.code, 1, &perCode);

        if (map != nullptr)
        {
            stroke.shifted = perCode > 1 && map[0] != symbol && map[1] == symbol;
            XFree (map);
        }
    }

    return stroke;
}

void strike (Display* display, KeyStroke stroke, const std::vector<KeySym>& held)
{
    for (auto modifier : held)
        XTestFakeKeyEvent (display, XKeysymToKeycode (display, modifier), True, CurrentTime);

    XTestFakeKeyEvent (display, stroke.code, True, CurrentTime);
    XTestFakeKeyEvent (display, stroke.code, False, CurrentTime);

    for (auto modifier : held)
        XTestFakeKeyEvent (display, XKeysymToKeycode (display, modifier), False, CurrentTime);
}
} // namespace

bool XTestPointer::type (const juce::String& text)
{
    std::vector<KeyStroke> strokes;

    for (auto character : text)
    {
        // Latin-1 characters are their own key symbols.
        const auto stroke = character < 0x100 ? strokeFor (connection->display, (KeySym) character) : KeyStroke {};

        if (stroke.code == 0)
            return false;

        strokes.push_back (stroke);
    }

    for (const auto& stroke : strokes)
        strike (connection->display, stroke, stroke.shifted ? std::vector<KeySym> { XK_Shift_L } : std::vector<KeySym> {});

    return true;
}

bool XTestPointer::pressKey (const juce::String& name)
{
    auto keyName = name;
    std::vector<KeySym> held;

    for (;;)
    {
        const auto prefix = keyName.upToFirstOccurrenceOf ("+", false, false).toLowerCase();

        if (keyName.containsChar ('+') && (prefix == "ctrl" || prefix == "shift" || prefix == "alt"))
        {
            held.push_back (prefix == "ctrl" ? XK_Control_L : (prefix == "shift" ? XK_Shift_L : XK_Alt_L));
            keyName = keyName.fromFirstOccurrenceOf ("+", false, false);
        }
        else
        {
            break;
        }
    }

    const auto symbol = XStringToKeysym (keyName.toRawUTF8());
    const auto stroke = symbol == NoSymbol ? KeyStroke {} : strokeFor (connection->display, symbol);

    if (stroke.code == 0)
        return false;

    if (stroke.shifted)
        held.push_back (XK_Shift_L);

    strike (connection->display, stroke, held);
    return true;
}

juce::Colour XTestPointer::colourAt (juce::Point<int> position) const
{
    auto* display = connection->display;
    auto* image = XGetImage (display, DefaultRootWindow (display), position.x, position.y, 1, 1, AllPlanes, ZPixmap);

    if (image == nullptr)
        return {};

    const auto pixel = XGetPixel (image, 0, 0);
    // Xvfb's 24-bit screens keep red, green and blue in these masks.
    const auto channel = [pixel] (unsigned long mask)
    {
        auto value = pixel & mask;
        while (mask != 0 && (mask & 1) == 0)
        {
            mask >>= 1;
            value >>= 1;
        }
        return (juce::uint8) value;
    };

    const juce::Colour colour (channel (image->red_mask), channel (image->green_mask), channel (image->blue_mask));
    XDestroyImage (image);
    return colour;
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

bool XTestPointer::hasDisplay() { return true; }

bool XTestPointer::isAvailable (juce::String& reason) const
{
    reason = "real pointer events need the X test extension (Linux)";
    return false;
}

void XTestPointer::moveTo (juce::Point<int>) {}
void XTestPointer::press (int) {}
void XTestPointer::release (int) {}
void XTestPointer::holdAlt (bool) {}
bool XTestPointer::type (const juce::String&) { return false; }
juce::Colour XTestPointer::colourAt (juce::Point<int>) const { return {}; }
bool XTestPointer::pressKey (const juce::String&) { return false; }
void XTestPointer::sync() {}
juce::Point<int> XTestPointer::toRoot (void*, juce::Point<int> local) const { return local; }
bool XTestPointer::showsChildWindowAt (void*, juce::Point<int>, int, int) const { return false; }

#endif
