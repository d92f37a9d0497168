#include "processor/UntrustedXml.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace
{
// The cancel flag is looked at once per this many bytes: often enough to stop within a fraction
// of a millisecond, rarely enough to cost nothing.
constexpr size_t cancelCheckInterval = 1 << 16;

bool isSpace (char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isSurrogate (juce::uint32 c) noexcept
{
    return c >= 0xd800 && c <= 0xdfff;
}

// XML 1.0 name characters, the table the framework's own name check uses.
bool isNameStart (juce::uint32 c) noexcept
{
    return c == ':' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
        || (c >= 0xc0 && c <= 0xd6) || (c >= 0xd8 && c <= 0xf6) || (c >= 0xf8 && c <= 0x2ff)
        || (c >= 0x370 && c <= 0x37d) || (c >= 0x37f && c <= 0x1fff) || (c >= 0x200c && c <= 0x200d)
        || (c >= 0x2070 && c <= 0x218f) || (c >= 0x2c00 && c <= 0x2fef) || (c >= 0x3001 && c <= 0xd7ff)
        || (c >= 0xf900 && c <= 0xfdcf) || (c >= 0xfdf0 && c <= 0xfffd) || (c >= 0x10000 && c <= 0xeffff);
}

bool isNameChar (juce::uint32 c) noexcept
{
    return isNameStart (c) || c == '-' || c == '.' || c == 0xb7 || (c >= '0' && c <= '9')
        || (c >= 0x300 && c <= 0x36f) || (c >= 0x203f && c <= 0x2040);
}

/** Length of the UTF-8 sequence at text[pos] and its code point; 0 when it is not well formed. */
size_t decode (std::string_view text, size_t pos, juce::uint32& codePoint) noexcept
{
    const auto lead = (unsigned char) text[pos];

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

    if (text.size() - pos < length)
        return 0;

    for (size_t i = 1; i < length; ++i)
    {
        const auto next = (unsigned char) text[pos + i];

        if ((next & 0xc0) != 0x80)
            return 0;

        codePoint = (codePoint << 6) | (next & 0x3fu);
    }

    if (codePoint < minimum || codePoint > 0x10ffff)
        return 0;

    return length;
}

size_t encode (juce::uint32 c, char* out) noexcept
{
    if (c < 0x80)    { out[0] = (char) c; return 1; }
    if (c < 0x800)   { out[0] = (char) (0xc0 | (c >> 6)); out[1] = (char) (0x80 | (c & 0x3f)); return 2; }
    if (c < 0x10000) { out[0] = (char) (0xe0 | (c >> 12)); out[1] = (char) (0x80 | ((c >> 6) & 0x3f));
                       out[2] = (char) (0x80 | (c & 0x3f)); return 3; }
    out[0] = (char) (0xf0 | (c >> 18)); out[1] = (char) (0x80 | ((c >> 12) & 0x3f));
    out[2] = (char) (0x80 | ((c >> 6) & 0x3f)); out[3] = (char) (0x80 | (c & 0x3f));
    return 4;
}

/** One pass over text already known to be valid UTF-8. */
class Scanner
{
public:
    Scanner (std::string_view textToScan, const UntrustedXml::Limits& limitsToApply,
             const std::atomic<bool>* cancelFlag, UntrustedXml::Reader* eventReader)
        : text (textToScan), limits (limitsToApply), cancel (cancelFlag), reader (eventReader)
    {
        open.reserve ((size_t) juce::jmax (0, limits.maximumDepth));
    }

    bool run()
    {
        while (pos < text.size())
        {
            if (pos >= nextCancelCheck)
            {
                if (cancel != nullptr && cancel->load())
                    return false;

                nextCancelCheck = pos + cancelCheckInterval;
            }

            if (! (text[pos] == '<' ? readMarkup() : readCharacters()))
                return false;
        }

        return sawRoot && open.empty();
    }

private:
    bool readCharacters()
    {
        if (text[pos] == '&')
            return readReference();

        const auto end = std::min (text.find_first_of ("<&", pos), text.size());
        emit (text.substr (pos, end - pos));
        pos = end;
        return true;
    }

    // Only the predefined entities and numeric references to XML characters: anything else would
    // need a DOCTYPE, and the framework reads a malformed reference differently from this check.
    bool readReference()
    {
        size_t end = pos + 1;

        while (end < text.size() && end - pos <= 12 && text[end] != ';')
            ++end;

        if (end >= text.size() || text[end] != ';')
            return false;

        const auto name = text.substr (pos + 1, end - pos - 1);
        pos = end + 1;

        if (name == "amp")  return emit ("&");
        if (name == "lt")   return emit ("<");
        if (name == "gt")   return emit (">");
        if (name == "quot") return emit ("\"");
        if (name == "apos") return emit ("'");

        if (name.size() < 2 || name[0] != '#')
            return false;

        const bool hex = name[1] == 'x';
        const auto digits = name.substr (hex ? 2 : 1);

        if (digits.empty() || digits.size() > (hex ? 8u : 10u))
            return false;

        juce::uint64 value = 0;

        for (const char c : digits)
        {
            const int digit = hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) c)
                                  : (c >= '0' && c <= '9' ? c - '0' : -1);

            if (digit < 0)
                return false;

            value = value * (hex ? 16u : 10u) + (juce::uint64) digit;
        }

        if (value == 0 || value > 0x10ffff || isSurrogate ((juce::uint32) value))
            return false;

        char bytes[4];
        return emit (std::string_view (bytes, encode ((juce::uint32) value, bytes)));
    }

    bool readMarkup()
    {
        const auto rest = text.substr (pos);

        // Inside the root the framework's parser loops for ever on a processing instruction
        // followed by text; a document needs one only for its XML declaration.
        if (rest.substr (0, 2) == "<?")
            return open.empty() && skipPast ("?>", 2);

        if (rest.substr (0, 4) == "<!--")
            return skipPast ("-->", 4);

        if (rest.substr (0, 9) == "<![CDATA[")
        {
            const auto end = text.find ("]]>", pos + 9);

            if (open.empty() || end == std::string_view::npos)
                return false;

            emit (text.substr (pos + 9, end - pos - 9));
            pos = end + 3;
            return true;
        }

        if (rest.substr (0, 2) == "<!") // DOCTYPE, ENTITY and every other declaration
            return false;

        if (rest.substr (0, 2) == "</")
            return readEndTag();

        return readStartTag();
    }

    bool skipPast (std::string_view close, size_t openLength)
    {
        const auto end = text.find (close, pos + openLength);

        if (end == std::string_view::npos)
            return false;

        pos = end + close.size();
        return true;
    }

    bool readStartTag()
    {
        ++pos;
        std::string_view name;

        if (! readName (name))
            return false;

        if (open.empty() && sawRoot) // a second root
            return false;

        sawRoot = true;

        if (++elements > limits.maximumElements || (int) open.size() >= limits.maximumDepth)
            return false;

        for (;;) // attributes up to the end of the tag
        {
            while (pos < text.size() && isSpace (text[pos]))
                ++pos;

            if (pos >= text.size())
                return false;

            if (text[pos] == '>')
            {
                ++pos;
                open.push_back (name);

                if (reader != nullptr)
                    reader->startElement (name);

                return true;
            }

            if (text[pos] == '/')
            {
                if (pos + 1 >= text.size() || text[pos + 1] != '>')
                    return false;

                pos += 2;

                if (reader != nullptr)
                {
                    reader->startElement (name);
                    reader->endElement();
                }

                return true;
            }

            if (! readAttribute())
                return false;
        }
    }

    bool readAttribute()
    {
        std::string_view name;

        if (! readName (name))
            return false;

        while (pos < text.size() && isSpace (text[pos]))
            ++pos;

        if (pos >= text.size() || text[pos] != '=')
            return false;

        ++pos;

        while (pos < text.size() && isSpace (text[pos]))
            ++pos;

        if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\''))
            return false;

        const char quote[] = { text[pos++], '&', 0 };

        for (;;)
        {
            pos = std::min (text.find_first_of (quote, pos), text.size());

            if (pos >= text.size())
                return false;

            if (text[pos] == quote[0])
            {
                ++pos;
                return true;
            }

            // A value's references are checked like those in text but not reported.
            auto* const saved = std::exchange (reader, nullptr);
            const bool valid = readReference();
            reader = saved;

            if (! valid)
                return false;
        }
    }

    bool readEndTag()
    {
        pos += 2;
        std::string_view name;

        if (! readName (name))
            return false;

        while (pos < text.size() && isSpace (text[pos]))
            ++pos;

        if (pos >= text.size() || text[pos] != '>' || open.empty() || open.back() != name)
            return false;

        ++pos;
        open.pop_back();

        if (reader != nullptr)
            reader->endElement();

        return true;
    }

    bool readName (std::string_view& name)
    {
        const auto start = pos;
        juce::uint32 c = 0;

        for (auto length = pos < text.size() ? decode (text, pos, c) : 0; length > 0 && (pos == start ? isNameStart (c) : isNameChar (c));
             length = pos < text.size() ? decode (text, pos, c) : 0)
            pos += length;

        if (pos == start)
            return false;

        name = text.substr (start, pos - start);

        // Every distinct name goes into the framework's global string pool, whose insertion cost
        // grows with its size.
        if ((int) names.size() < limits.maximumDistinctNames)
            names.insert (name);
        else if (names.count (name) == 0)
            return false;

        return true;
    }

    bool emit (std::string_view characters)
    {
        if (reader != nullptr && ! open.empty() && ! characters.empty())
            reader->characters (characters);

        return true;
    }

    std::string_view text;
    const UntrustedXml::Limits& limits;
    const std::atomic<bool>* cancel;
    UntrustedXml::Reader* reader;

    size_t pos = 0;
    size_t nextCancelCheck = 0;
    std::vector<std::string_view> open;
    std::unordered_set<std::string_view> names;
    int elements = 0;
    bool sawRoot = false;
};
} // namespace

bool UntrustedXml::isValidUtf8 (std::string_view text, const std::atomic<bool>* cancel)
{
    size_t nextCancelCheck = 0;

    for (size_t pos = 0; pos < text.size();)
    {
        if (pos >= nextCancelCheck)
        {
            if (cancel != nullptr && cancel->load())
                return false;

            nextCancelCheck = pos + cancelCheckInterval;
        }

        juce::uint32 c = 0;
        const auto length = decode (text, pos, c);

        if (length == 0 || c == 0)
            return false;

        pos += length;
    }

    return true;
}

bool UntrustedXml::check (std::string_view text, const Limits& limits, const std::atomic<bool>* cancel, Reader* reader)
{
    return isValidUtf8 (text, cancel) && Scanner (text, limits, cancel, reader).run();
}

std::unique_ptr<juce::XmlElement> UntrustedXml::parse (std::string_view text, const Limits& limits)
{
    if (text.size() > (size_t) std::numeric_limits<int>::max() || ! check (text, limits))
        return nullptr;

    return juce::parseXML (juce::String::fromUTF8 (text.data(), (int) text.size()));
}
