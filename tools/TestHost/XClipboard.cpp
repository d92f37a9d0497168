#include "XClipboard.h"

#if JUCE_LINUX
 #include <X11/Xatom.h>
 #include <X11/Xlib.h>

std::optional<juce::String> XClipboard::readText (const std::function<void()>& serve, int timeoutMs)
{
    auto* display = XOpenDisplay (nullptr);

    if (display == nullptr)
        return std::nullopt;

    const auto clipboard = XInternAtom (display, "CLIPBOARD", False);
    const auto utf8 = XInternAtom (display, "UTF8_STRING", False);
    const auto target = XInternAtom (display, "ONDULA_TEST_HOST_CLIPBOARD", False);
    const auto window = XCreateSimpleWindow (display, DefaultRootWindow (display), 0, 0, 1, 1, 0, 0, 0);
    std::optional<juce::String> text;

    if (XGetSelectionOwner (display, clipboard) != None)
    {
        XConvertSelection (display, clipboard, utf8, target, window, CurrentTime);
        XFlush (display);

        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
        bool answered = false;

        while (! answered && juce::Time::getMillisecondCounter() < end)
        {
            XEvent event {};

            if (XCheckTypedWindowEvent (display, window, SelectionNotify, &event))
            {
                answered = true;

                if (event.xselection.property != None)
                {
                    Atom type = None;
                    int format = 0;
                    unsigned long items = 0, left = 0;
                    unsigned char* data = nullptr;

                    if (XGetWindowProperty (display, window, target, 0, 1 << 16, True, AnyPropertyType,
                                            &type, &format, &items, &left, &data) == Success && data != nullptr)
                    {
                        text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) items);
                        XFree (data);
                    }
                }
            }
            else
            {
                serve();
            }
        }
    }

    XDestroyWindow (display, window);
    XCloseDisplay (display);
    return text;
}

#else

std::optional<juce::String> XClipboard::readText (const std::function<void()>&, int) { return std::nullopt; }

#endif
