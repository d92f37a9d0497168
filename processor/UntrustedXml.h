#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

/** The one gate for every XML document that comes from outside (saved states, preset files, the
    news feed).

    The framework's parser recurses once per level, reads past the end of a truncated UTF-8
    sequence, scans a DOCTYPE once per entity reference, appends each reference with a scan of
    the whole string read so far, pools every tag and attribute name in a global table with
    quadratic insertion, skips a byte it cannot read inside a character reference, which can
    shift its view of the tags, and loops for ever on a processing instruction followed by text
    inside an element. So documents never reach it: the raw bytes are checked in one pass linear
    in their length (bounded size, strict UTF-8 without NUL, tags that nest properly and close by
    name, one root, bounded depth, element count and name vocabulary, valid names, each attribute
    once per element, no DOCTYPE or other declarations, processing instructions only outside the
    root, and only the predefined entities and numeric character references), and a tree is built
    from that same pass. Every text it hands on is clean (UnicodeText): a UTF-16 surrogate, encoded
    directly in the bytes or as a reference, is read as the character its pair stands for, or as
    U+FFFD, so whatever the plug-in writes back of it passes the gate again. */
class UntrustedXml
{
public:
    struct Limits
    {
        size_t maximumBytes = 1 << 20;
        int maximumDepth = 32;
        int maximumElements = 1 << 16;
        int maximumDistinctNames = 512;
    };

    /** Why a document was refused; none when it passed. */
    enum class Refusal
    {
        none,
        tooLarge,
        notUtf8,
        malformed,
        tooDeep,
        tooManyElements,
        tooManyNames,
        repeatedAttribute,
        declaration,
        processingInstruction,
        reference,
        cancelled
    };

    /** A short phrase for the console, such as "nested deeper than 32 levels". */
    static juce::String describe (Refusal refusal, const Limits& limits);

    /** Receives the document while the check walks it. The events up to a refusal may describe a
        document that is then refused, so a reader commits nothing before check() returns true. */
    class Reader
    {
    public:
        virtual ~Reader() = default;
        virtual void startElement (std::string_view name) = 0;
        /** Each attribute of the element just started, in document order, its value decoded to clean UTF-8. */
        virtual void attribute (std::string_view /*name*/, std::string_view /*utf8Value*/) {}
        virtual void endElement() = 0;
        /** Character data inside the root, in order, as clean UTF-8: each run of text, CDATA
            sections and decoded references up to the next tag, comment or processing instruction,
            which give nothing themselves. */
        virtual void characters (std::string_view utf8) = 0;
    };

    /** True when the text passes every rule above. Stops early, returning false, once cancel is
        set. On refusal, the reason goes to `refusal` when given. */
    static bool check (std::string_view text, const Limits& limits,
                       const std::atomic<bool>* cancel = nullptr, Reader* reader = nullptr,
                       Refusal* refusal = nullptr);

    /** What parse() leaves out of the tree: attributes named "base64:...". */
    struct LeftOut
    {
        int binaryValues = 0;
        juce::String firstName;
    };

    /** A phrase for the console, such as "binary value base64:x left out"; the first name is
        shortened to 64 characters (XML names hold no backtick, which would start a style). */
    static juce::String describe (const LeftOut& leftOut);

    /** The document's elements and attributes as a tree, built from the check's own pass, or
        nullptr when the check refuses it. Character data is not kept: what is read as a tree (saved
        states, presets) has no place for it, and the feed reads it through a Reader. Every
        attribute is kept as its text, but for those named "base64:...": the framework's
        ValueTree::fromXml decodes them into a block of the size their text declares (an exception
        from 30 bytes, gigabytes from a few more), and no tree read from outside holds a binary
        value. They are left out, and counted in `leftOut` when given. */
    static std::unique_ptr<juce::XmlElement> parse (std::string_view text, const Limits& limits,
                                                    Refusal* refusal = nullptr, LeftOut* leftOut = nullptr);

    /** Well-formed UTF-8 (no overlong forms, nothing above U+10FFFF, no truncated sequence) without
        NUL. Encoded UTF-16 surrogates are accepted, and read as described above: the framework
        writes them for unpaired halves, and so do some converters. */
    static bool isValidUtf8 (std::string_view text, const std::atomic<bool>* cancel = nullptr);
};
