#pragma once

#include <juce_core/juce_core.h>

/** Counts what a plug-in does on the audio thread inside its process calls: heap calls, mutex
    locks and system calls, caught at the C library's entry points, which this executable
    interposes for every library it loads (the bundle, the C++ runtime). Only the thread inside a
    Scope is counted; every other call passes straight through.

    Interposing the allocator cannot go together with a sanitizer's own, so sanitizer builds of the
    host have no probe (isAvailable() is false) and count nothing. */
class AudioThreadProbe
{
public:
    struct Counts
    {
        juce::int64 allocations = 0, frees = 0, locks = 0, waits = 0, systemCalls = 0;
        int mutexes = 0;            // distinct mutexes locked
        double longestWaitMs = 0.0; // the longest lock that found its mutex held by another thread
        juce::StringArray systemCallNames; // "write=12", one entry per function called
    };

    static bool isAvailable() noexcept;

    /** Counts this thread's calls while it lives. One thread at a time. */
    class Scope
    {
    public:
        Scope() noexcept;
        ~Scope();
        Scope (const Scope&) = delete;
        Scope& operator= (const Scope&) = delete;
    };

    /** Everything counted so far, once the counted thread has left its last scope. */
    static Counts read();
};
