#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/HostStateNotifier.h"
#include "../processor/ParameterMappingFunctions.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

/** The rule by which every panel mirrors and edits its one node of the state tree.

    Tree to controls: a value that comes from the tree (the binding's announcement, a host
    automation step, a loaded state, the panel's own write coming back) only moves the controls,
    silently, so no control callback runs and nothing is written back; an off-grid or
    out-of-range value stays in the node exactly as it is stored.

    Controls to tree: only a user action writes (a fader's value-change callback, a button's
    click), and only a value that differs from the stored one as the panel reads it, so that
    a click on the button already selected, or a fader set to what is stored, leaves the node
    untouched, type included. A value typed into a fader's box is read on the scale the box shows
    and written like a drag. Every such write reaches the host: through the property's parameter,
    or else as a changed state (userEdit).

    The one exception is a mode outside its row's values: no button can show it, so the panel
    repairs it to 0. */
class PanelBinding
{
public:
    /** A continuous setting as a double; missing, unreadable or non-finite values read as 0. */
    static double readValue (const juce::ValueTree& node, const juce::Identifier& property);

    /** A mode as an int, as the framework's int conversion gives it (1.0 and "1.7" read as 1);
        a missing property reads as 0, a non-finite or huge number as -1 (no valid mode). */
    static int readMode (const juce::ValueTree& node, const juce::Identifier& property);

    /** Moves a fader to a tree value without notification: the fader limits and snaps what it
        shows, the node keeps what it holds. */
    static void showValue (juce::Slider& fader, double value);

    /** Selects, without notification, the button of the row whose value is the mode; the row is
        given in value order (its first button has value 0). Returns false and changes nothing
        when no button has that value. */
    static bool showMode (std::initializer_list<juce::Button*> rowInValueOrder, int mode);

    /** A radio row reports a click for the button it switches off as well as for the one the
        user switched on; only the latter is the user's choice. */
    static bool isUserSelection (const juce::Button& clicked) { return clicked.getToggleState(); }

    /** The user's edits. Each writes, without an undo manager, only to a valid node and only when
        the stored value reads differently (or is missing); returns whether it wrote. */
    static bool writeValue (juce::ValueTree& node, const juce::Identifier& property, double value);
    static bool writeMode (juce::ValueTree& node, const juce::Identifier& property, int mode);
    static bool writeText (juce::ValueTree& node, const juce::Identifier& property, const juce::String& text);

    /** Runs a user's write through the editor's notifier, so that the host hears of an edit that
        no parameter shows; a panel outside an editor has no notifier and just writes. */
    static bool userEdit (HostStateNotifier* notifier, const std::function<bool()>& write);

    /** What a fader's text box makes of typed text: a value of the fader's grid, or nothing. */
    using TextReader = std::function<std::optional<double> (const std::string& typed, double current,
                                                            ParameterMappingFunctions::FaderGrid grid)>;

    /** Makes a fader's box read typed text with the reader, on the scale the box shows. Text that
        reads as no value leaves the fader where it is. */
    static void readTypedText (juce::Slider& fader, TextReader reader);

    /** Shows a fader's value as a whole percentage and reads a typed one back. */
    static void showPercent (juce::Slider& fader, const ParameterMappingFunctions& mappings);

    /** Replaces a mode no button can show with 0, as an int: the one write a tree change may
        cause. It comes back to the panel as mode 0. */
    static void repairMode (juce::ValueTree& node, const juce::Identifier& property);
};
