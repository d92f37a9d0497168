#include "processor/StateBlockReader.h"

#include "processor/SettingRange.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

std::unique_ptr<juce::XmlElement> StateBlockReader::readXml (const void* data, int sizeInBytes, UntrustedXml::Refusal* refusal,
                                                             UntrustedXml::LeftOut* leftOut)
{
    constexpr juce::uint32 magic = 0x21324356; // "VC2!"

    if (refusal != nullptr)
        *refusal = UntrustedXml::Refusal::none;

    if (leftOut != nullptr)
        *leftOut = {};

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

    return parseText (std::string_view (bytes + 8, length), refusal, leftOut);
}

std::unique_ptr<juce::XmlElement> StateBlockReader::parseText (std::string_view text, UntrustedXml::Refusal* refusal,
                                                               UntrustedXml::LeftOut* leftOut)
{
    return UntrustedXml::parse (text, limits(), refusal, leftOut);
}

UntrustedXml::Limits StateBlockReader::limits()
{
    UntrustedXml::Limits limits;
    limits.maximumBytes = maximumTextBytes;
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

    struct Match
    {
        int live, firstLoaded, lastLoaded;
    };

    std::vector<Match> matches;

    while (! pending.empty())
    {
        auto [loadedNode, liveNode] = pending.back();
        pending.pop_back();

        std::vector<juce::Identifier> names;

        for (int i = 0; i < liveNode.getNumProperties(); ++i)
            names.push_back (liveNode.getPropertyName (i));

        for (const auto& name : names)
        {
            if (! loadedNode.hasProperty (name))
                continue;

            auto value = loadedNode.getProperty (name);

            // A number out of its setting's range or not a number at all would play one value
            // while the host and the editor showed another.
            if (const auto kind = SettingRange::of (liveNode.getType(), name))
            {
                const auto normalised = SettingRange::normalised (*kind, value);

                if (! normalised.has_value())
                    continue;

                value = withReadableNumber (*normalised);
            }

            liveNode.setProperty (name, value, nullptr);
        }

        // One pass over the loaded children; the live node has a handful. Each live child is
        // pushed where the last loaded child of its type stands, so the children are merged in
        // the order a walk that pushed every duplicate would first reach them.
        matches.clear();

        for (int i = 0; i < loadedNode.getNumChildren(); ++i)
        {
            const auto type = loadedNode.getChild (i).getType();
            const auto liveIndex = liveNode.indexOf (liveNode.getChildWithName (type));

            if (liveIndex < 0)
                continue;

            const auto known = std::find_if (matches.begin(), matches.end(), [liveIndex] (const Match& m) { return m.live == liveIndex; });

            if (known == matches.end())
                matches.push_back ({ liveIndex, i, i });
            else
                known->lastLoaded = i;
        }

        std::sort (matches.begin(), matches.end(), [] (const Match& a, const Match& b) { return a.lastLoaded < b.lastLoaded; });

        for (const auto& m : matches)
            pending.emplace_back (loadedNode.getChild (m.firstLoaded), liveNode.getChild (m.live));
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
