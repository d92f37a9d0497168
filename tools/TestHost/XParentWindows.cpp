#include "XParentWindows.h"

#if JUCE_LINUX || JUCE_BSD
 #include <X11/Xlib.h>
 #include <X11/Xutil.h>

 #include <atomic>
 #include <set>

namespace
{
std::atomic<int> errors { 0 };

int countError (Display*, XErrorEvent*)
{
    ++errors;
    return 0;
}
} // namespace

struct XParentWindows::Connection
{
    Display* display = nullptr;
    XErrorHandler previousHandler = nullptr;
};

XParentWindows::XParentWindows() : connection (std::make_unique<Connection>())
{
    connection->previousHandler = XSetErrorHandler (countError);
    connection->display = XOpenDisplay (nullptr);
}

XParentWindows::~XParentWindows()
{
    if (connection->display != nullptr)
    {
        for (const auto& [window, area] : windows)
            XDestroyWindow (connection->display, (::Window) window);

        XCloseDisplay (connection->display);
    }

    XSetErrorHandler (connection->previousHandler);
}

int XParentWindows::getErrors()
{
    return errors;
}

bool XParentWindows::isAvailable() const
{
    return connection->display != nullptr;
}

unsigned long XParentWindows::create (juce::Rectangle<int> area)
{
    auto* display = connection->display;

    if (display == nullptr)
        return 0;

    const auto black = BlackPixel (display, DefaultScreen (display));
    const auto window = XCreateSimpleWindow (display, DefaultRootWindow (display), area.getX(), area.getY(),
                                             (unsigned int) area.getWidth(), (unsigned int) area.getHeight(), 0, black, black);
    // Without a window manager the server places it where asked; the flag keeps one from moving it.
    XSetWindowAttributes attributes {};
    attributes.override_redirect = True;
    XChangeWindowAttributes (display, window, CWOverrideRedirect, &attributes);
    XMapWindow (display, window);
    XSync (display, False);
    windows[(unsigned long) window] = area;
    return (unsigned long) window;
}

void XParentWindows::map (unsigned long window)
{
    XMapWindow (connection->display, (::Window) window);
    XSync (connection->display, False);
}

void XParentWindows::unmap (unsigned long window)
{
    XUnmapWindow (connection->display, (::Window) window);
    XSync (connection->display, False);
}

int XParentWindows::distinctColours (unsigned long window) const
{
    auto* display = connection->display;
    const auto found = windows.find (window);

    if (display == nullptr || found == windows.end())
        return 0;

    XSync (display, False);
    const auto screen = juce::Rectangle<int> (DisplayWidth (display, DefaultScreen (display)), DisplayHeight (display, DefaultScreen (display)));
    const auto area = found->second.getIntersection (screen);

    if (area.isEmpty())
        return 0;

    auto* image = XGetImage (display, DefaultRootWindow (display), area.getX(), area.getY(),
                             (unsigned int) area.getWidth(), (unsigned int) area.getHeight(), AllPlanes, ZPixmap);

    if (image == nullptr)
        return 0;

    std::set<unsigned long> colours;

    for (int y = 0; y < area.getHeight(); y += 3)
        for (int x = 0; x < area.getWidth(); x += 3)
            colours.insert (XGetPixel (image, x, y));

    XDestroyImage (image);
    return (int) colours.size();
}

#else

struct XParentWindows::Connection {};

XParentWindows::XParentWindows() : connection (std::make_unique<Connection>()) {}
XParentWindows::~XParentWindows() = default;
bool XParentWindows::isAvailable() const { return false; }
int XParentWindows::getErrors() { return 0; }
unsigned long XParentWindows::create (juce::Rectangle<int>) { return 0; }
void XParentWindows::map (unsigned long) {}
void XParentWindows::unmap (unsigned long) {}
int XParentWindows::distinctColours (unsigned long) const { return 0; }

#endif
