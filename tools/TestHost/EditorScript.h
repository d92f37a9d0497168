#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** A list of user steps for the editor in a real window. One step per line or between ';',
    '#' starts a comment. Positions are in the editor's own pixels (its top-left is 0 0).

        click X Y | double-click X Y | right-click X Y | alt-click X Y | move X Y
        drag X1 Y1 X2 Y2 [MOVES]        press, move in MOVES steps (default 10), release
        wait MS                         serve the message loop for MS milliseconds
        settle [MS]                     serve it until the host has heard nothing for MS (500)
        wait-param ID VALUE [MS]        until the host parameter (ID string or name) has the
                                        normalised VALUE (within 0.0005); fails after MS (20000)
        wait-tree NODE.ATTRIBUTE VALUE [MS]   until the saved tree holds VALUE there (numbers of
                                        up to 15 characters within 1e-6, else the same text);
                                        fails after MS (20000)
        render LABEL [SECONDS] [FLUSH]  plays an impulse through the live plug-in after FLUSH
                                        seconds (10) of silence and measures SECONDS (2) of it
        compare LABEL1 LABEL2           how much two renders differ
        report LABEL                    prints the tree and the parameters now
        reopen                          closes the editor and opens a new one
        type TEXT                       types the rest of the line (blanks inside it too) as key
                                        presses into the window that has the keyboard focus
        key NAME...                     presses and releases keys by their X names (Return,
                                        Escape, BackSpace, ...), "ctrl+a" holding Control
        clipboard LABEL                 prints the clipboard's text (what ctrl+c copied in a
                                        text box of the plug-in)
        pixel X Y LABEL                 prints the colour the screen shows at that point */
class EditorScript
{
public:
    struct Step
    {
        juce::String command;
        juce::StringArray arguments;
        juce::String text; // as written, for the log

        int integer (int index, int fallback) const;
        double number (int index, double fallback) const;
    };

    /** Parses the text; on a step it does not know, or with too few arguments, returns false and
        describes the step in error. */
    bool parse (const juce::String& text, juce::String& error);

    std::vector<Step> steps;
};
