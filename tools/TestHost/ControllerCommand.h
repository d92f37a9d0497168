#pragma once

#include <juce_core/juce_core.h>

/** controller <bundle> [--set id=value]...: creates the plug-in's audio component and edit
    controller straight from the bundle's factory, connects them as a VST3 host does, hands each
    normalised value (a number or "nan") to IEditController::setParamNormalized, as a DAW does
    for the automation it plays and the values typed into its own parameter list, and prints what
    the controller reports back (getParamNormalized), which is what a DAW shows. The framework's
    hosting keeps its own copy of what it last sent, so it cannot show this. */
class ControllerCommand
{
public:
    static int run (const juce::StringArray& args);
};
