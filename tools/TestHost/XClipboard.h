#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <optional>

/** Reads the X clipboard (the CLIPBOARD selection) as text, on a display connection of its own.
    The owner of the selection may live in this very process (a plug-in's window copied its text),
    so the message loop is served while the owner's answer is awaited. Unavailable off Linux. */
class XClipboard
{
public:
    /** The clipboard's text, or nothing when no window owns the clipboard or no answer comes
        within the time-out. `serve` runs the message loop for a short while. */
    static std::optional<juce::String> readText (const std::function<void()>& serve, int timeoutMs);
};
