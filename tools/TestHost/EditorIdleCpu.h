#pragma once

#include <juce_core/juce_core.h>

/** What the plug-in costs while audio plays and nobody touches it: runs the message loop for the
    given time and prints the CPU time of the message thread (where the editor's timers, painting
    and window updates run) and of the whole process, each as a percentage of one core. */
class EditorIdleCpu
{
public:
    /** Prints idleCpu.<label>.messageThread=..% and idleCpu.<label>.process=..%. */
    static void measure (const juce::String& label, int seconds);
};
