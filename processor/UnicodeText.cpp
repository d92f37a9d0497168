#include "processor/UnicodeText.h"

#include <cstring>
#include <vector>

namespace
{
bool isHighSurrogate (juce::uint32 c) noexcept { return c >= 0xd800 && c <= 0xdbff; }
bool isLowSurrogate (juce::uint32 c) noexcept  { return c >= 0xdc00 && c <= 0xdfff; }

void append (std::string& out, juce::uint32 c)
{
    char bytes[4];
    out.append (bytes, UnicodeText::encode (c, bytes));
}

std::string_view bytesOf (const juce::String& text)
{
    const auto* raw = text.toRawUTF8();
    return { raw, std::strlen (raw) };
}
} // namespace

size_t UnicodeText::decode (std::string_view bytes, size_t pos, juce::uint32& codePoint) noexcept
{
    const auto lead = (unsigned char) bytes[pos];

    if (lead < 0x80)
    {
        codePoint = lead;
        return 1;
    }

    size_t length = 0;
    juce::uint32 minimum = 0;

    if (lead >= 0xc2 && lead < 0xe0)      { length = 2; minimum = 0x80;    codePoint = lead & 0x1fu; }
    else if (lead >= 0xe0 && lead < 0xf0) { length = 3; minimum = 0x800;   codePoint = lead & 0x0fu; }
    else if (lead >= 0xf0 && lead < 0xf5) { length = 4; minimum = 0x10000; codePoint = lead & 0x07u; }
    else return 0;

    if (bytes.size() - pos < length)
        return 0;

    for (size_t i = 1; i < length; ++i)
    {
        const auto next = (unsigned char) bytes[pos + i];

        if ((next & 0xc0) != 0x80)
            return 0;

        codePoint = (codePoint << 6) | (next & 0x3fu);
    }

    if (codePoint < minimum || codePoint > 0x10ffff)
        return 0;

    return length;
}

size_t UnicodeText::encode (juce::uint32 c, char* out) noexcept
{
    if (c < 0x80)    { out[0] = (char) c; return 1; }
    if (c < 0x800)   { out[0] = (char) (0xc0 | (c >> 6)); out[1] = (char) (0x80 | (c & 0x3f)); return 2; }
    if (c < 0x10000) { out[0] = (char) (0xe0 | (c >> 12)); out[1] = (char) (0x80 | ((c >> 6) & 0x3f));
                       out[2] = (char) (0x80 | (c & 0x3f)); return 3; }
    out[0] = (char) (0xf0 | (c >> 18)); out[1] = (char) (0x80 | ((c >> 12) & 0x3f));
    out[2] = (char) (0x80 | ((c >> 6) & 0x3f)); out[3] = (char) (0x80 | (c & 0x3f));
    return 4;
}

bool UnicodeText::isClean (std::string_view bytes) noexcept
{
    for (size_t pos = 0; pos < bytes.size();)
    {
        if ((unsigned char) bytes[pos] < 0x80)
        {
            ++pos;
            continue;
        }

        juce::uint32 c = 0;
        const auto length = decode (bytes, pos, c);

        if (length == 0 || isSurrogate (c))
            return false;

        pos += length;
    }

    return true;
}

std::string UnicodeText::cleaned (std::string_view bytes)
{
    std::string out;
    out.reserve (bytes.size());

    for (size_t pos = 0; pos < bytes.size();)
    {
        juce::uint32 c = 0;
        const auto length = decode (bytes, pos, c);

        if (length == 0)
        {
            append (out, replacementCharacter);
            ++pos;
            continue;
        }

        if (isHighSurrogate (c))
        {
            juce::uint32 low = 0;
            const auto next = pos + length < bytes.size() ? decode (bytes, pos + length, low) : 0;

            if (next > 0 && isLowSurrogate (low))
            {
                append (out, 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00));
                pos += length + next;
                continue;
            }
        }

        if (isSurrogate (c))
            append (out, replacementCharacter);
        else
            out.append (bytes.substr (pos, length));

        pos += length;
    }

    return out;
}

juce::String UnicodeText::cleaned (const juce::String& text)
{
    const auto bytes = bytesOf (text);

    if (isClean (bytes))
        return text;

    const auto clean = cleaned (bytes);
    return juce::String::fromUTF8 (clean.data(), (int) clean.size());
}

void UnicodeText::clean (juce::XmlElement& document)
{
    std::vector<juce::XmlElement*> pending { &document };

    while (! pending.empty())
    {
        auto* element = pending.back();
        pending.pop_back();

        if (element->isTextElement())
        {
            if (! isClean (bytesOf (element->getText())))
                element->setText (cleaned (element->getText()));

            continue;
        }

        for (int i = 0; i < element->getNumAttributes(); ++i)
            if (const auto& value = element->getAttributeValue (i); ! isClean (bytesOf (value)))
                element->setAttribute (juce::Identifier (element->getAttributeName (i)), cleaned (value));

        for (auto* child : element->getChildIterator())
            pending.push_back (child);
    }
}
