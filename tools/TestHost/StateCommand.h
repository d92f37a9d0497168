#pragma once

#include <juce_core/juce_core.h>

/** state <bundle> [--set id=value]... [--component-out file] [--load file]...
    Restores raw component state blocks (what a DAW keeps in its project for the plug-in) one
    after the other through the host's state call, which hands them to the plug-in's
    IComponent::setState. Prints what the host sees before and after each block: the plug-in's
    settings as a digest, the bypass switch and every parameter value, and the seconds each state
    call kept the host's thread. */
class StateCommand
{
public:
    static int run (const juce::StringArray& args);
};
