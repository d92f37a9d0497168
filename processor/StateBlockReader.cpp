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

    if (! juce::CharPointer_UTF8::isValidString (bytes + 8, static_cast<int> (length)))
        return nullptr;

    if (! hasSoundStructure (bytes + 8, length))
        return nullptr;

    const auto text = juce::String::fromUTF8 (bytes + 8, static_cast<int> (length));

    // Entity declarations let a document expand or refer to itself without end; a state written
    // by this plug-in never has one.
    if (text.containsIgnoreCase ("<!DOCTYPE"))
        return nullptr;

    auto xml = juce::parseXML (text);

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

namespace
{
bool isNameStart (char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || (unsigned char) c >= 0x80;
}

bool isNameChar (char c) noexcept
{
    return isNameStart (c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isSpace (char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/** Steps over a name at pos; false if there is none. */
bool skipName (const char* text, size_t length, size_t& pos) noexcept
{
    if (pos >= length || ! isNameStart (text[pos]))
        return false;

    while (pos < length && isNameChar (text[pos]))
        ++pos;

    return true;
}

void skipSpace (const char* text, size_t length, size_t& pos) noexcept
{
    while (pos < length && isSpace (text[pos]))
        ++pos;
}

/** Finds the end of a comment, processing instruction or declaration starting at pos. */
bool skipSpecial (const char* text, size_t length, size_t& pos) noexcept
{
    const auto rest = std::string_view (text + pos, length - pos);
    const auto close = rest.substr (0, 4) == "<!--" ? std::string_view ("-->") : std::string_view (">");
    const auto end = rest.find (close);

    if (end == std::string_view::npos)
        return false;

    pos += end + close.size();
    return true;
}
} // namespace

bool StateBlockReader::hasSoundStructure (const char* text, size_t length)
{
    int depth = 0;
    bool sawElement = false;

    for (size_t pos = 0; pos < length;)
    {
        if (text[pos] != '<')
        {
            ++pos;
            continue;
        }

        const char next = pos + 1 < length ? text[pos + 1] : '\0';

        if (next == '?' || next == '!')
        {
            if (! skipSpecial (text, length, pos))
                return false;

            continue;
        }

        if (next == '/')
        {
            pos += 2;

            if (! skipName (text, length, pos))
                return false;

            skipSpace (text, length, pos);

            if (pos >= length || text[pos] != '>' || --depth < 0)
                return false;

            ++pos;
            continue;
        }

        ++pos;

        if (! skipName (text, length, pos))
            return false;

        if (depth == 0 && sawElement) // a second root
            return false;

        sawElement = true;

        if (++depth > maximumElementDepth)
            return false;

        for (;;) // attributes up to the end of the tag
        {
            skipSpace (text, length, pos);

            if (pos >= length)
                return false;

            if (text[pos] == '>')
            {
                ++pos;
                break;
            }

            if (text[pos] == '/')
            {
                if (pos + 1 >= length || text[pos + 1] != '>')
                    return false;

                pos += 2;
                --depth;
                break;
            }

            if (! skipName (text, length, pos))
                return false;

            skipSpace (text, length, pos);

            if (pos >= length || text[pos] != '=')
                return false;

            ++pos;
            skipSpace (text, length, pos);

            if (pos >= length || (text[pos] != '"' && text[pos] != '\''))
                return false;

            const char quote = text[pos++];

            while (pos < length && text[pos] != quote)
                ++pos;

            if (pos >= length)
                return false;

            ++pos;
        }
    }

    return sawElement && depth == 0;
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
