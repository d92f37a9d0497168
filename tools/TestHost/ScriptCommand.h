#pragma once

#include <juce_core/juce_core.h>

/** script <bundle> --steps "step; step; ..." | --steps-file file
                    [--tree-in tree.xml] [--component-in file] [--set id=value]... [--render-dir dir]
                    [--state-out file]

    Opens the plug-in's editor in a real top-level window while audio runs on a thread of its
    own, plays the steps (EditorScript) with real pointer events from the X test extension, and
    prints what a host then knows, as key=value lines:

        loaded.tree.<node>.<attribute>   the plug-in's settings tree before the editor opened
        loaded.param.<number>            the host parameters then
        editor.seconds                   from the host's request to the editor's window on screen
        tree.<node>.<attribute>          the tree after the steps
        param.<number>[.name|.text]      every host parameter (normalised), by its VST3 number
        host.*                           the changes and gestures the host heard, in total, per
                                         parameter and in order (host.events)
        render.<label>.*, compare.*      the renders' level, peak, onset and differences
        result=ok|failed

    --tree-in hands the plug-in a settings tree (its own XML) as its whole saved state before
    anything else, --component-in raw component state as a DAW restores a project (crafted bytes
    included); --set changes host parameters as a host would. Needs an X display with the
    test extension (xvfb-run). */
class ScriptCommand
{
public:
    static int run (const juce::StringArray& args);
};
