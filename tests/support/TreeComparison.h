#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <cmath>
#include <string>
#include <vector>

/** Compares two state trees attribute by attribute, including how each value is stored: the int
    1, the double 1.0 and the text "1" are three different values here, as they are to the
    framework's tree, which notifies its listeners when a write changes only the type. */
namespace TreeComparison
{
    inline std::string describe (const juce::var& v)
    {
        const char* type = v.isVoid() ? "void" : v.isInt() ? "int" : v.isInt64() ? "int64" : v.isDouble() ? "double"
                         : v.isBool() ? "bool" : v.isString() ? "string" : "other";
        return std::string (type) + " " + v.toString().toStdString();
    }

    /** One line per difference; empty when the trees are the same. */
    inline std::vector<std::string> differences (const juce::ValueTree& expected, const juce::ValueTree& actual,
                                                 const std::string& path = {})
    {
        std::vector<std::string> found;
        const auto here = path + "/" + expected.getType().toString().toStdString();

        if (expected.getType() != actual.getType())
            return { here + ": node " + actual.getType().toString().toStdString() };

        juce::StringArray names;

        for (int i = 0; i < expected.getNumProperties(); ++i)
            names.addIfNotAlreadyThere (expected.getPropertyName (i).toString());

        for (int i = 0; i < actual.getNumProperties(); ++i)
            names.addIfNotAlreadyThere (actual.getPropertyName (i).toString());

        for (const auto& name : names)
        {
            const auto a = expected.getProperty (name);
            const auto b = actual.getProperty (name);

            // A NaN equals nothing, itself included; two stored NaNs are the same setting.
            const bool bothNaN = a.isDouble() && b.isDouble() && std::isnan ((double) a) && std::isnan ((double) b);

            if (expected.hasProperty (name) != actual.hasProperty (name) || ! (a.equalsWithSameType (b) || bothNaN))
                found.push_back (here + "." + name.toStdString() + ": " + describe (a) + " -> " + describe (b));
        }

        if (expected.getNumChildren() != actual.getNumChildren())
            found.push_back (here + ": " + std::to_string (expected.getNumChildren()) + " -> "
                             + std::to_string (actual.getNumChildren()) + " children");

        for (int i = 0; i < juce::jmin (expected.getNumChildren(), actual.getNumChildren()); ++i)
            for (auto& line : differences (expected.getChild (i), actual.getChild (i), here))
                found.push_back (std::move (line));

        return found;
    }
}
