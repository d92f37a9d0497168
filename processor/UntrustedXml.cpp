#include "processor/UntrustedXml.h"

#include "processor/UnicodeText.h"

#include <algorithm>
#include <string>
#include <unordered_map>
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

/** One pass over text already known to be valid UTF-8. */
class Scanner
{
public:
    using Refusal = UntrustedXml::Refusal;

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
                    return refuse (Refusal::cancelled);

                nextCancelCheck = pos + cancelCheckInterval;
            }

            if (! (text[pos] == '<' ? readMarkup() : readCharacters()))
                return false;
        }

        flushCharacters();
        return (sawRoot && open.empty()) || refuse (Refusal::malformed);
    }

    Refusal refusal = Refusal::none;

private:
    bool refuse (Refusal reason)
    {
        refusal = reason;
        return false;
    }

    bool readCharacters()
    {
        if (text[pos] == '&')
        {
            decoded.clear();
            return readReference (decoded) && emit (decoded);
        }

        const auto end = std::min (text.find_first_of ("<&", pos), text.size());
        emit (text.substr (pos, end - pos));
        pos = end;
        return true;
    }

    // Only the predefined entities and numeric references to XML characters: anything else would
    // need a DOCTYPE. The decoded character is appended to `out`.
    bool readReference (std::string& out)
    {
        size_t end = pos + 1;

        while (end < text.size() && end - pos <= 12 && text[end] != ';')
            ++end;

        if (end >= text.size() || text[end] != ';')
            return refuse (Refusal::reference);

        const auto name = text.substr (pos + 1, end - pos - 1);
        pos = end + 1;

        if (name == "amp")  { out += '&';  return true; }
        if (name == "lt")   { out += '<';  return true; }
        if (name == "gt")   { out += '>';  return true; }
        if (name == "quot") { out += '"';  return true; }
        if (name == "apos") { out += '\''; return true; }

        if (name.size() < 2 || name[0] != '#')
            return refuse (Refusal::reference);

        const bool hex = name[1] == 'x';
        const auto digits = name.substr (hex ? 2 : 1);

        if (digits.empty() || digits.size() > (hex ? 8u : 10u))
            return refuse (Refusal::reference);

        juce::uint64 value = 0;

        for (const char c : digits)
        {
            const int digit = hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) c)
                                  : (c >= '0' && c <= '9' ? c - '0' : -1);

            if (digit < 0)
                return refuse (Refusal::reference);

            value = value * (hex ? 16u : 10u) + (juce::uint64) digit;
        }

        if (value == 0 || value > 0x10ffff)
            return refuse (Refusal::reference);

        // A surrogate goes in as its three bytes, like one encoded directly in the text; the
        // text around it is cleaned once it is whole, so a pair split across two references
        // still stands for its character.
        char bytes[4];
        out.append (bytes, UnicodeText::encode ((juce::uint32) value, bytes));
        return true;
    }

    bool readMarkup()
    {
        const auto rest = text.substr (pos);

        // A CDATA section continues the character data; any other markup ends it.
        if (rest.substr (0, 9) != "<![CDATA[")
            flushCharacters();

        // Inside the root the framework's parser loops for ever on a processing instruction
        // followed by text; a document needs one only for its XML declaration.
        if (rest.substr (0, 2) == "<?")
            return open.empty() ? skipPast ("?>", 2) : refuse (Refusal::processingInstruction);

        if (rest.substr (0, 4) == "<!--")
            return skipPast ("-->", 4);

        if (rest.substr (0, 9) == "<![CDATA[")
        {
            const auto end = text.find ("]]>", pos + 9);

            if (open.empty() || end == std::string_view::npos)
                return refuse (Refusal::malformed);

            emit (text.substr (pos + 9, end - pos - 9));
            pos = end + 3;
            return true;
        }

        if (rest.substr (0, 2) == "<!") // DOCTYPE, ENTITY and every other declaration
            return refuse (Refusal::declaration);

        if (rest.substr (0, 2) == "</")
            return readEndTag();

        return readStartTag();
    }

    bool skipPast (std::string_view close, size_t openLength)
    {
        const auto end = text.find (close, pos + openLength);

        if (end == std::string_view::npos)
            return refuse (Refusal::malformed);

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
            return refuse (Refusal::malformed);

        sawRoot = true;

        if (++elements > limits.maximumElements)
            return refuse (Refusal::tooManyElements);

        if ((int) open.size() >= limits.maximumDepth)
            return refuse (Refusal::tooDeep);

        ++elementSerial;
        attributes.clear();
        attributeValues.clear();

        for (;;) // attributes up to the end of the tag
        {
            while (pos < text.size() && isSpace (text[pos]))
                ++pos;

            if (pos >= text.size())
                return refuse (Refusal::malformed);

            if (text[pos] == '>')
            {
                ++pos;
                open.push_back (name);
                announceStart (name);
                return true;
            }

            if (text[pos] == '/')
            {
                if (pos + 1 >= text.size() || text[pos + 1] != '>')
                    return refuse (Refusal::malformed);

                pos += 2;
                announceStart (name);

                if (reader != nullptr)
                    reader->endElement();

                return true;
            }

            if (! readAttribute())
                return false;
        }
    }

    void announceStart (std::string_view name)
    {
        if (reader == nullptr)
            return;

        reader->startElement (name);

        // The values were collected into one buffer that may have moved while it grew, so they
        // are handed over only now that the tag is complete.
        for (const auto& a : attributes)
            reader->attribute (a.name, std::string_view (attributeValues).substr (a.valueStart, a.valueLength));
    }

    bool readAttribute()
    {
        std::string_view name;

        if (! readName (name))
            return false;

        // A second value for the same name would be read differently by different readers.
        auto& seenIn = nameSeenInElement[nameIds.at (name)];

        if (seenIn == elementSerial)
            return refuse (Refusal::repeatedAttribute);

        seenIn = elementSerial;

        while (pos < text.size() && isSpace (text[pos]))
            ++pos;

        if (pos >= text.size() || text[pos] != '=')
            return refuse (Refusal::malformed);

        ++pos;

        while (pos < text.size() && isSpace (text[pos]))
            ++pos;

        if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\''))
            return refuse (Refusal::malformed);

        const char quote[] = { text[pos++], '&', 0 };
        const auto valueStart = attributeValues.size();

        for (;;)
        {
            const auto end = std::min (text.find_first_of (quote, pos), text.size());

            if (reader != nullptr)
                attributeValues.append (text.substr (pos, end - pos));

            pos = end;

            if (pos >= text.size())
                return refuse (Refusal::malformed);

            if (text[pos] == quote[0])
            {
                ++pos;

                if (reader != nullptr)
                    if (const auto value = std::string_view (attributeValues).substr (valueStart); ! UnicodeText::isClean (value))
                        attributeValues.replace (valueStart, std::string::npos, UnicodeText::cleaned (value));

                attributes.push_back ({ name, valueStart, attributeValues.size() - valueStart });
                return true;
            }

            decoded.clear();

            if (! readReference (decoded))
                return false;

            if (reader != nullptr)
                attributeValues += decoded;
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
            return refuse (Refusal::malformed);

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

        for (auto length = pos < text.size() ? UnicodeText::decode (text, pos, c) : 0; length > 0 && (pos == start ? isNameStart (c) : isNameChar (c));
             length = pos < text.size() ? UnicodeText::decode (text, pos, c) : 0)
            pos += length;

        if (pos == start)
            return refuse (Refusal::malformed);

        name = text.substr (start, pos - start);

        // Every distinct name goes into the framework's global string pool, whose insertion cost
        // grows with its size.
        if (nameIds.count (name) == 0)
        {
            if ((int) nameIds.size() >= limits.maximumDistinctNames)
                return refuse (Refusal::tooManyNames);

            nameIds.emplace (name, nameSeenInElement.size());
            nameSeenInElement.push_back (0);
        }

        return true;
    }

    // Character data is collected up to the next markup, so that surrogates are cleaned in
    // whole runs of text, then handed over.
    bool emit (std::string_view characters)
    {
        if (reader != nullptr && ! open.empty())
            pendingCharacters.append (characters);

        return true;
    }

    void flushCharacters()
    {
        if (pendingCharacters.empty())
            return;

        if (UnicodeText::isClean (pendingCharacters))
            reader->characters (pendingCharacters);
        else
            reader->characters (UnicodeText::cleaned (std::string_view (pendingCharacters)));

        pendingCharacters.clear();
    }

    struct Attribute
    {
        std::string_view name;
        size_t valueStart, valueLength;
    };

    std::string_view text;
    const UntrustedXml::Limits& limits;
    const std::atomic<bool>* cancel;
    UntrustedXml::Reader* reader;

    size_t pos = 0;
    size_t nextCancelCheck = 0;
    std::vector<std::string_view> open;
    std::unordered_map<std::string_view, size_t> nameIds;
    std::vector<juce::uint64> nameSeenInElement; // per name id: the last element that used it as an attribute
    juce::uint64 elementSerial = 0;
    std::vector<Attribute> attributes; // of the start tag being read
    std::string attributeValues;       // their decoded values, one after the other
    std::string decoded;               // the reference being read
    std::string pendingCharacters;     // character data since the last markup
    int elements = 0;
    bool sawRoot = false;
};

/** Builds the element tree from the gate's events. Each name becomes an Identifier once, and
    children are linked in when their parent closes, first child last, since the framework's
    own append walks the whole list of children every time. */
class ElementBuilder : public UntrustedXml::Reader
{
public:
    void startElement (std::string_view name) override
    {
        open.push_back ({ std::make_unique<juce::XmlElement> (identifier (name)), {} });
    }

    void attribute (std::string_view name, std::string_view value) override
    {
        if (name.substr (0, binaryPrefix.size()) == binaryPrefix)
        {
            if (leftOut.binaryValues++ == 0)
                leftOut.firstName = juce::String::fromUTF8 (name.data(), (int) name.size());

            return;
        }

        open.back().element->setAttribute (identifier (name), juce::String::fromUTF8 (value.data(), (int) value.size()));
    }

    void endElement() override
    {
        auto closed = std::move (open.back());
        open.pop_back();

        for (auto child = closed.children.rbegin(); child != closed.children.rend(); ++child)
            closed.element->prependChildElement (child->release());

        if (open.empty())
            root = std::move (closed.element);
        else
            open.back().children.push_back (std::move (closed.element));
    }

    void characters (std::string_view) override {}

    std::unique_ptr<juce::XmlElement> root;
    UntrustedXml::LeftOut leftOut;

private:
    static constexpr std::string_view binaryPrefix { "base64:" };

    const juce::Identifier& identifier (std::string_view name)
    {
        auto found = identifiers.find (name);

        if (found == identifiers.end())
            found = identifiers.emplace (name, juce::Identifier (juce::String::fromUTF8 (name.data(), (int) name.size()))).first;

        return found->second;
    }

    struct OpenElement
    {
        std::unique_ptr<juce::XmlElement> element;
        std::vector<std::unique_ptr<juce::XmlElement>> children;
    };

    std::vector<OpenElement> open;
    std::unordered_map<std::string_view, juce::Identifier> identifiers;
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
        const auto length = UnicodeText::decode (text, pos, c);

        if (length == 0 || c == 0)
            return false;

        pos += length;
    }

    return true;
}

bool UntrustedXml::check (std::string_view text, const Limits& limits, const std::atomic<bool>* cancel,
                          Reader* reader, Refusal* refusal)
{
    auto verdict = Refusal::none;

    if (text.size() > limits.maximumBytes)
        verdict = Refusal::tooLarge;
    else if (! isValidUtf8 (text, cancel))
        verdict = cancel != nullptr && cancel->load() ? Refusal::cancelled : Refusal::notUtf8;
    else if (Scanner scanner (text, limits, cancel, reader); ! scanner.run())
        verdict = scanner.refusal;

    if (refusal != nullptr)
        *refusal = verdict;

    return verdict == Refusal::none;
}

std::unique_ptr<juce::XmlElement> UntrustedXml::parse (std::string_view text, const Limits& limits, Refusal* refusal, LeftOut* leftOut)
{
    ElementBuilder builder;

    if (leftOut != nullptr)
        *leftOut = {};

    if (! check (text, limits, nullptr, &builder, refusal))
        return nullptr;

    if (leftOut != nullptr)
        *leftOut = builder.leftOut;

    return std::move (builder.root);
}

juce::String UntrustedXml::describe (const LeftOut& leftOut)
{
    auto name = leftOut.firstName;

    if (name.length() > 64)
        name = name.substring (0, 61) + "...";

    if (leftOut.binaryValues == 1)
        return "binary value " + name + " left out";

    return juce::String (leftOut.binaryValues) + " binary values left out, " + name + " first";
}

namespace
{
juce::String sizeText (size_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return juce::String ((juce::uint64) (bytes >> 20)) + " MB";

    if (bytes >= 1024 && bytes % 1024 == 0)
        return juce::String ((juce::uint64) (bytes >> 10)) + " KB";

    return juce::String ((juce::uint64) bytes) + " bytes";
}
} // namespace

juce::String UntrustedXml::describe (Refusal refusal, const Limits& limits)
{
    switch (refusal)
    {
        case Refusal::none:                  return "readable";
        case Refusal::tooLarge:              return "larger than " + sizeText (limits.maximumBytes);
        case Refusal::notUtf8:               return "not UTF-8 text";
        case Refusal::malformed:             return "not well-formed XML";
        case Refusal::tooDeep:               return "nested deeper than " + juce::String (limits.maximumDepth) + " levels";
        case Refusal::tooManyElements:       return "more than " + juce::String (limits.maximumElements) + " elements";
        case Refusal::tooManyNames:          return "more than " + juce::String (limits.maximumDistinctNames) + " different names";
        case Refusal::repeatedAttribute:     return "an attribute given twice";
        case Refusal::declaration:           return "a DOCTYPE or other declaration";
        case Refusal::processingInstruction: return "a processing instruction inside the document";
        case Refusal::reference:             return "an entity reference other than the predefined ones";
        case Refusal::cancelled:             return "cancelled";
    }

    return {};
}
