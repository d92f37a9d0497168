#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include "processor/UntrustedXml.h"

#include <memory>
#include <string_view>

/** Reads the saved-state block (magic "VC2!", text length, XML text, terminator) defensively and
    merges a loaded tree into the live one by node type and property name. */
class StateBlockReader
{
public:
    /** The block's XML, or nullptr for a block that is too short, has another magic or length,
        or whose text the gate refuses (the reason then goes to `refusal`, when given; it stays
        none for a block without text). What the gate left out goes to `leftOut`, when given.
        Never reads outside [data, data + sizeInBytes). */
    static std::unique_ptr<juce::XmlElement> readXml (const void* data, int sizeInBytes,
                                                      UntrustedXml::Refusal* refusal = nullptr,
                                                      UntrustedXml::LeftOut* leftOut = nullptr);

    /** The text of a saved state or a preset file through the gate, with the limits of both. */
    static std::unique_ptr<juce::XmlElement> parseText (std::string_view text, UntrustedXml::Refusal* refusal = nullptr,
                                                        UntrustedXml::LeftOut* leftOut = nullptr);

    /** Sets each live property that the loaded node also has, depth first, children matched by
        type; a numeric setting's value is first brought into its range (SettingRange) and made
        readable (withReadableNumber), while a text is kept as it was written. A live child is
        merged with the first loaded child of its type, once, however many the loaded node holds:
        visiting it again would change nothing, and on a crafted tree would multiply the work
        level by level. */
    static void mergeInto (const juce::ValueTree& loaded, juce::ValueTree& live);

    /** The loaded value, unless it is text whose leading number has an exponent of ten or more
        significant digits: the framework's number reader adds such an exponent up in an int and
        overflows (undefined behaviour). Its digits are then cut to nine nines, which read the same
        (infinity or zero), since no block is long enough for its mantissa to make up the difference. */
    static juce::var withReadableNumber (const juce::var& loadedValue);

    /** True when the text passes the untrusted-document check with the saved state's limits:
        tags nest properly, no deeper than maximumElementDepth, and every name is a valid XML name. */
    static bool hasSoundStructure (const char* text, size_t length);

    static constexpr int maximumElementDepth = 32;

    /** The largest state or preset text read. The plug-in's own states are about 2 KB and the
        editor can make them at most a few tens of kilobytes (nine curves of 128 points, a long
        name), while every pass over the text stays within milliseconds at this size. */
    static constexpr size_t maximumTextBytes = 1 << 20;

    /** The gate's limits for saved states and presets. */
    static UntrustedXml::Limits limits();
};
