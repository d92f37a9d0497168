#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>
#include <string_view>

/** The one gate for every XML document that comes from outside (saved states, the news feed).

    The framework's parser recurses once per level, reads past the end of a truncated UTF-8
    sequence, scans a DOCTYPE once per entity reference, pools every tag and attribute name in a
    global table with quadratic insertion, and skips a byte it cannot read inside a character
    reference, which can shift its view of the tags, and loops for ever on a processing
    instruction followed by text inside an element. So the raw bytes are checked first, in one
    pass linear in their length: strict UTF-8 without NUL, tags that nest properly and close by
    name, one root, bounded depth, element count and name vocabulary, valid names, no DOCTYPE or
    other declarations, processing instructions only outside the root, and only the predefined
    entities and numeric character references. */
class UntrustedXml
{
public:
    struct Limits
    {
        int maximumDepth = 32;
        int maximumElements = 1 << 16;
        int maximumDistinctNames = 512;
    };

    /** Receives the document while the check walks it. The events up to a refusal may describe a
        document that is then refused, so a reader commits nothing before check() returns true. */
    class Reader
    {
    public:
        virtual ~Reader() = default;
        virtual void startElement (std::string_view name) = 0;
        virtual void endElement() = 0;
        /** Character data inside the root, in order: text runs, CDATA sections and decoded
            references, each as UTF-8. Comments and processing instructions give nothing. */
        virtual void characters (std::string_view utf8) = 0;
    };

    /** True when the text passes every rule above. Stops early, returning false, once cancel is set. */
    static bool check (std::string_view text, const Limits& limits,
                       const std::atomic<bool>* cancel = nullptr, Reader* reader = nullptr);

    /** The document parsed by the framework, or nullptr when the check refuses it or the parse fails. */
    static std::unique_ptr<juce::XmlElement> parse (std::string_view text, const Limits& limits);

    /** Well-formed UTF-8 (no overlong forms, nothing above U+10FFFF, no truncated sequence) without
        NUL. Encoded UTF-16 surrogates are accepted: the framework writes them for unpaired halves. */
    static bool isValidUtf8 (std::string_view text, const std::atomic<bool>* cancel = nullptr);
};
