#pragma once

#include <juce_core/juce_core.h>

/** open-editor <bundle> [--cycles n] [--hold-ms ms] [--idle-cpu-seconds s]: opens the plug-in's
    editor in a real top-level window while audio runs, closes it and opens it again. Fails when a
    window does not come up at the editor's size, when opening changes a host parameter or a
    setting, or when the plug-in reports no editor. With --idle-cpu-seconds it also prints the CPU
    the plug-in takes while audio plays, first without and then with the editor open. */
class OpenEditorCommand
{
public:
    static int run (const juce::StringArray& args);
};
