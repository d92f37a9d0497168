#pragma once

#include <juce_core/juce_core.h>

/** The test host's subcommands. Each returns the process exit code and prints what a host sees
    as key=value lines, so tests can read them. */
class HostCommands
{
public:
    /** list <bundle>: identity, buses, layouts, programs and every parameter. */
    static int list (const juce::StringArray& args);

    /** render <bundle> --out file.wav [--in file.wav | --signal impulse|sine|noise|silence]
        [--seconds s] [--rate hz] [--blocks n[,n...]] [--channels 1|2] [--bpm b] [--no-playhead]
        [--set id=value]... [--state-in file] [--state-out file] [--write-input file] [--time]
        Audio runs on a thread of its own while the message loop is served, as in a DAW. With
        --time, also prints the time the plug-in spent processing and the real-time factor. */
    static int render (const juce::StringArray& args);

    static void printUsage();
};
