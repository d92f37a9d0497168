#include "processor/StateBlockReader.h"

#include <cstring>
#include <string_view>
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

    auto xml = UntrustedXml::parse (std::string_view (bytes + 8, length), limits());

    // The tree has no place for text content; drop it rather than let the conversion trip on it.
    if (xml != nullptr)
    {
        std::vector<juce::XmlElement*> pending { xml.get() };

        while (! pending.empty())
        {
            auto* element = pending.back();
            pending.pop_back();
            element->deleteAllTextElements();

            for (auto* child : element->getChildIterator())
                pending.push_back (child);
        }
    }

    return xml;
}

UntrustedXml::Limits StateBlockReader::limits()
{
    UntrustedXml::Limits limits;
    limits.maximumDepth = maximumElementDepth;
    return limits;
}

bool StateBlockReader::hasSoundStructure (const char* text, size_t length)
{
    return UntrustedXml::check (std::string_view (text, length), limits());
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
                liveNode.setProperty (name, withReadableNumber (loadedNode.getProperty (name)), nullptr);

        for (const auto& loadedChild : loadedNode)
        {
            const auto type = loadedChild.getType();
            auto liveChild = liveNode.getChildWithName (type);

            if (liveChild.isValid())
                pending.emplace_back (loadedNode.getChildWithName (type), liveChild);
        }
    }
}

juce::var StateBlockReader::withReadableNumber (const juce::var& loadedValue)
{
    if (! loadedValue.isString())
        return loadedValue;

    // Steps over the leading number as the framework's reader does: white space, a sign, then
    // digits with at most one point.
    const auto text = loadedValue.toString();
    auto p = text.getCharPointer().findEndOfWhitespace();

    if (*p == '+' || *p == '-')
        ++p;

    bool sawDigit = false, sawPoint = false;

    for (;; ++p)
    {
        if (p.isDigit())
            sawDigit = true;
        else if (*p == '.' && ! sawPoint)
            sawPoint = true;
        else
            break;
    }

    if (! sawDigit || (*p != 'e' && *p != 'E'))
        return loadedValue;

    ++p;

    if (*p == '+' || *p == '-')
        ++p;

    const auto exponentDigits = p;
    int significantDigits = 0;

    for (; p.isDigit(); ++p)
        if (significantDigits > 0 || *p != '0')
            ++significantDigits;

    if (significantDigits < 10)
        return loadedValue;

    return juce::String (text.getCharPointer(), exponentDigits) + "999999999" + juce::String (p);
}
