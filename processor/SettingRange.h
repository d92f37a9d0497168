#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <optional>

/** The range of every numeric setting of the state tree, and the one value a loaded number
    becomes, so that the engines, the host parameters, the editor and the next save agree on it.
    A value in range and readable is kept as it was loaded; one out of range becomes the nearest
    bound (a mode, the nearest whole mode); one that is not a finite number (empty, text, "nan",
    "inf", beyond the range of a double) is ignored like a missing one: the setting keeps its
    value. */
class SettingRange
{
public:
    enum class Kind
    {
        unit,       // 0 .. 1
        signedUnit, // -1 .. 1: the automation amounts
        mode        // the whole numbers 0, 1 and 2
    };

    /** The kind of a property of a node of the state tree; none for texts and marks. */
    static std::optional<Kind> of (const juce::Identifier& nodeType, const juce::Identifier& property);

    /** What to store for a loaded value: the value itself, the bound it exceeds (a double; a mode
        as an int), or none when the live value is to stay. Text is read only when all of it is
        one decimal number (blanks around it allowed), by the framework's own number reader, so
        what is kept reads the same everywhere. Linear in the text's length. */
    static std::optional<juce::var> normalised (Kind kind, const juce::var& loaded);

    /** True when the text is one decimal number: an optional sign, digits with at most one
        point, an optional exponent, nothing else but blanks around it. */
    static bool isDecimalNumber (const juce::String& text);
};
