#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <string>

/** Writes the state tree as the plug-in saves it, for a project and for a preset file, so that
    the gate (UntrustedXml, with StateBlockReader's limits) always reads back what was written.

    Every text is first made clean (UnicodeText). The document must then fit the gate's cap as
    written: the plug-in's own states take a few kilobytes, but a text a crafted state brought in
    can take a megabyte, which the framework's writer may make up to six times longer (a quote
    becomes &quot;, a control character a numeric reference). Only then is a setting whose number
    was loaded as a long text written as its value, longest first, and once no such number is
    left, the longest texts are cut, at a character boundary, until the document fits: every
    setting still loads, where a state over the cap would lose them all, and a name is cut only
    where nothing but text is left to shorten. No value is written as binary ("base64:..."). */
class SavedStateWriter
{
public:
    /** The saved-state block ("VC2!", the text's length, the text, a terminator), as the framework
        writes it, from the root of the state tree as XML. */
    static void writeBlock (juce::XmlElement& document, juce::MemoryBlock& block);

    /** The text of a preset file, in the framework's default format. */
    static std::string presetText (juce::XmlElement& document);

    /** Removes binary values, cleans the document and shortens its longest numbers, then its
        longest texts, until, written in the given format, it takes at most maximumBytes. */
    static void prepare (juce::XmlElement& document, const juce::XmlElement::TextFormat& format, size_t maximumBytes);

    /** An upper bound of the bytes the framework's writer gives the value of an attribute: the
        characters it keeps, the predefined entities and a decimal reference for all others. */
    static size_t writtenBytes (const juce::String& value);
};
