#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <string>
#include <string_view>

/** The one rule for the characters of every text the plug-in reads, keeps and writes (preset
    names, curves, patterns, any other property; saved states, preset files, file names): Unicode
    characters in well-formed UTF-8.

    A UTF-16 surrogate never stays, however it came in (encoded directly in the bytes, as some
    converters write, or as a numeric reference): a high surrogate followed at once by a low one
    stands for the character the pair encodes, and any other surrogate becomes U+FFFD. So does each
    byte of a sequence that is not well formed, which the framework's strings carry when text comes
    from outside unchecked (a clipboard, a host). Replacing rather than refusing keeps a state with
    one odd character loading with all its settings. Noncharacters, control characters and 4-byte
    characters are characters like any other and stay as they are. */
class UnicodeText
{
public:
    static constexpr juce::uint32 replacementCharacter = 0xfffd;

    /** True when the bytes are well-formed UTF-8 with no surrogate (NUL counts as a character). */
    static bool isClean (std::string_view bytes) noexcept;

    /** The bytes under the rule above; linear in their length. */
    static std::string cleaned (std::string_view bytes);

    /** The same for a string: the string itself when it is clean already. */
    static juce::String cleaned (const juce::String& text);

    /** Cleans every attribute value and text of the document in place. */
    static void clean (juce::XmlElement& document);

    /** The length of the UTF-8 sequence at bytes[pos] and its value, surrogates included; 0 for a
        sequence that is not well formed (overlong, above U+10FFFF, truncated, a stray byte). */
    static size_t decode (std::string_view bytes, size_t pos, juce::uint32& codePoint) noexcept;

    /** Writes the character as UTF-8 into `out` (room for 4 bytes); returns the length. */
    static size_t encode (juce::uint32 codePoint, char* out) noexcept;

    static bool isSurrogate (juce::uint32 c) noexcept { return c >= 0xd800 && c <= 0xdfff; }
};
