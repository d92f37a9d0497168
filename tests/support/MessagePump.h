#pragma once

#include <functional>

/** Runs the message loop from a test (modal loops are compiled out, so the framework's own
    dispatch-until helper is not available). */
class MessagePump
{
public:
    /** Dispatches messages for the given time. */
    static void run (int milliseconds);

    /** Dispatches messages until the condition holds or the time is up; returns the condition. */
    static bool runUntil (const std::function<bool()>& condition, int timeoutMilliseconds);
};
