#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include "processor/UntrustedXml.h"

#include <memory>

/** Reads the saved-state block (magic "VC2!", text length, XML text, terminator) defensively and
    merges a loaded tree into the live one by node type and property name. */
class StateBlockReader
{
public:
    /** The block's XML, or nullptr for a block that is too short, has another magic or length,
        is not UTF-8 or does not parse. Never reads outside [data, data + sizeInBytes). */
    static std::unique_ptr<juce::XmlElement> readXml (const void* data, int sizeInBytes);

    /** Sets each live property that the loaded node also has, depth first, children matched by type. */
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

private:
    static UntrustedXml::Limits limits();
};
