#include "EditorScript.h"

#include <map>

namespace
{
// The fewest arguments each step takes.
const std::map<juce::String, int> minimumArguments {
    { "click", 2 }, { "double-click", 2 }, { "right-click", 2 }, { "alt-click", 2 }, { "move", 2 },
    { "drag", 4 }, { "wait", 1 }, { "settle", 0 }, { "wait-param", 2 }, { "wait-tree", 2 },
    { "render", 1 }, { "compare", 2 }, { "report", 1 }, { "reopen", 0 },
    { "type", 1 }, { "key", 1 }, { "clipboard", 1 }, { "pixel", 3 },
};
} // namespace

int EditorScript::Step::integer (int index, int fallback) const
{
    return index < arguments.size() ? arguments[index].getIntValue() : fallback;
}

double EditorScript::Step::number (int index, double fallback) const
{
    return index < arguments.size() ? arguments[index].getDoubleValue() : fallback;
}

bool EditorScript::parse (const juce::String& text, juce::String& error)
{
    for (auto line : juce::StringArray::fromTokens (text.replaceCharacter (';', '\n'), "\n", {}))
    {
        line = line.upToFirstOccurrenceOf ("#", false, false).trim();

        if (line.isEmpty())
            continue;

        auto words = juce::StringArray::fromTokens (line, " \t", {});
        words.removeEmptyStrings();

        const auto known = minimumArguments.find (words[0]);

        if (known == minimumArguments.end() || words.size() - 1 < known->second)
        {
            error = "cannot read the step \"" + line + "\"";
            return false;
        }

        Step step;
        step.command = words[0];
        step.text = line;
        words.remove (0);
        step.arguments = words;

        // The text to type is the rest of the line as written, blanks inside it included.
        if (step.command == "type")
            step.arguments = juce::StringArray (line.fromFirstOccurrenceOf (" ", false, false).trimStart());
        steps.push_back (step);
    }

    return true;
}
