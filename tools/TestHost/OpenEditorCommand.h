#pragma once

#include <juce_core/juce_core.h>

/** open-editor <bundle> [--cycles n] [--hold-ms ms] [--idle-cpu-seconds s] [--die-while-open]: opens the plug-in's
    editor in a real top-level window while audio runs, closes it and opens it again. Fails when a
    window does not come up at the editor's size, when opening changes a host parameter or a
    setting, or when the plug-in reports no editor. With --idle-cpu-seconds it also prints the CPU
    the plug-in takes while audio plays, first without and then with the editor open. With
    --die-while-open the process kills itself once the editor is shown, as a crashing host ends,
    after printing its pid and the X shared-memory segments it made (sharedMemory.segments) and
    how many of them are marked for removal (sharedMemory.marked). */
class OpenEditorCommand
{
public:
    static int run (const juce::StringArray& args);
};
