#include "processor/StateBlockReader.h"

#include <cstring>
#include <utility>
#include <vector>

std::unique_ptr<juce::XmlElement> StateBlockReader::readXml (const void* data, int sizeInBytes)
{
    constexpr juce::uint32 magic = 0x21324356; // "VC2!"

    if (data == nullptr || sizeInBytes < 9)
        return nullptr;

    const auto* bytes = static_cast<const char*> (data);

    if (juce::ByteOrder::littleEndianInt (bytes) != magic)
        return nullptr;

    const auto declaredLength = static_cast<int> (juce::ByteOrder::littleEndianInt (bytes + 4));

    if (declaredLength < 1)
        return nullptr;

    const auto available = static_cast<size_t> (juce::jmin (declaredLength, sizeInBytes - 8));
    const auto length = ::strnlen (bytes + 8, available); // the text ends at its terminator

    if (length == 0)
        return nullptr;

    if (! juce::CharPointer_UTF8::isValidString (bytes + 8, static_cast<int> (length)))
        return nullptr;

    if (elementDepth (bytes + 8, length) > maximumElementDepth)
        return nullptr;

    const auto text = juce::String::fromUTF8 (bytes + 8, static_cast<int> (length));

    // Entity declarations let a document expand or refer to itself without end; a state written
    // by this plug-in never has one.
    if (text.containsIgnoreCase ("<!DOCTYPE"))
        return nullptr;

    return juce::parseXML (text);
}

int StateBlockReader::elementDepth (const char* text, size_t length)
{
    int depth = 0;
    int deepest = 0;

    for (size_t i = 0; i < length; ++i)
    {
        if (text[i] != '<')
            continue;

        const char next = i + 1 < length ? text[i + 1] : '\0';
        const bool closing = next == '/';
        const bool opening = ! closing && next != '?' && next != '!';

        // Find the end of the tag, stepping over quoted attribute values.
        size_t end = i + 1;
        char quote = 0;

        for (; end < length; ++end)
        {
            const char c = text[end];

            if (quote != 0)
            {
                if (c == quote)
                    quote = 0;
            }
            else if (opening && (c == '"' || c == '\''))
            {
                quote = c;
            }
            else if (c == '>')
            {
                break;
            }
        }

        if (opening)
        {
            deepest = juce::jmax (deepest, ++depth);

            if (end < length && end > i + 1 && text[end - 1] == '/')
                --depth;
        }
        else if (closing)
        {
            depth = juce::jmax (0, depth - 1);
        }

        i = end;
    }

    return deepest;
}

void StateBlockReader::mergeInto (const juce::ValueTree& loaded, juce::ValueTree& live)
{
    std::vector<std::pair<juce::ValueTree, juce::ValueTree>> pending;
    pending.emplace_back (loaded, live);

    while (! pending.empty())
    {
        auto [loadedNode, liveNode] = pending.back();
        pending.pop_back();

        std::vector<juce::Identifier> names;

        for (int i = 0; i < liveNode.getNumProperties(); ++i)
            names.push_back (liveNode.getPropertyName (i));

        for (const auto& name : names)
            if (loadedNode.hasProperty (name))
                liveNode.setProperty (name, loadedNode.getProperty (name), nullptr);

        for (const auto& loadedChild : loadedNode)
        {
            const auto type = loadedChild.getType();
            auto liveChild = liveNode.getChildWithName (type);

            if (liveChild.isValid())
                pending.emplace_back (loadedNode.getChildWithName (type), liveChild);
        }
    }
}
