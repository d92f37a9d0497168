#include "processor/SavedStateWriter.h"

#include "processor/SettingRange.h"
#include "processor/StateBlockReader.h"
#include "processor/UnicodeText.h"

#include <vector>

namespace
{
// The characters the framework's XML writer keeps as they are (its table of legal characters).
bool isWrittenAsItIs (juce::juce_wchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || (c > 0 && c < 0x80 && juce::CharPointer_ASCII (" .,;:-()_+=?!$#@[]/|*%~{}'\\").indexOf (c) >= 0);
}

size_t writtenBytesOf (juce::juce_wchar c)
{
    if (isWrittenAsItIs (c))
        return 1;

    switch (c)
    {
        case '&': return 5; // &amp;
        case '"': return 6; // &quot;
        case '<':
        case '>': return 4; // &lt; &gt;
        default:  break;
    }

    size_t digits = 1;

    for (auto v = (juce::uint32) c; v >= 10; v /= 10)
        ++digits;

    return 3 + digits; // &#N;
}

struct Place
{
    juce::XmlElement* element = nullptr;
    int index = -1;
    size_t bytes = 0;
};

bool isNumber (const juce::XmlElement& element, int index)
{
    return SettingRange::of (juce::Identifier (element.getTagName()), juce::Identifier (element.getAttributeName (index))).has_value();
}

// The longest value among the numeric settings (numbers) or among the others (texts).
Place largestValueIn (juce::XmlElement& document, bool numbers)
{
    Place largest;
    std::vector<juce::XmlElement*> pending { &document };

    while (! pending.empty())
    {
        auto* element = pending.back();
        pending.pop_back();

        for (int i = 0; i < element->getNumAttributes(); ++i)
            if (const auto bytes = SavedStateWriter::writtenBytes (element->getAttributeValue (i)); bytes > largest.bytes && isNumber (*element, i) == numbers)
                largest = { element, i, bytes };

        for (auto* child : element->getChildIterator())
            pending.push_back (child);
    }

    return largest;
}

// The framework's writer gives a binary value a "base64:" name, which its reader decodes into a
// block of whatever size the text declares; the plug-in keeps none, and writes none.
void removeBinaryValues (juce::XmlElement& document)
{
    std::vector<juce::XmlElement*> pending { &document };

    while (! pending.empty())
    {
        auto* element = pending.back();
        pending.pop_back();

        for (int i = element->getNumAttributes(); --i >= 0;)
            if (const auto& name = element->getAttributeName (i); name.startsWith ("base64:"))
                element->removeAttribute (juce::Identifier (name));

        for (auto* child : element->getChildIterator())
            pending.push_back (child);
    }
}

// The longest start of the value that the writer gives at most `budget` bytes.
juce::String startOf (const juce::String& value, size_t budget)
{
    const auto start = value.getCharPointer();
    auto end = start;
    size_t bytes = 0;

    while (! end.isEmpty())
    {
        auto next = end;
        bytes += writtenBytesOf (next.getAndAdvance());

        if (bytes > budget)
            break;

        end = next;
    }

    return juce::String (start, end);
}

// Values this short are the tree's own frame (names, numbers, patterns): cutting them could not
// make a document fit that their few kilobytes do not already fill.
constexpr size_t shortValueBytes = 64;
} // namespace

size_t SavedStateWriter::writtenBytes (const juce::String& value)
{
    size_t bytes = 0;

    for (auto p = value.getCharPointer(); ! p.isEmpty();)
        bytes += writtenBytesOf (p.getAndAdvance());

    return bytes;
}

void SavedStateWriter::prepare (juce::XmlElement& document, const juce::XmlElement::TextFormat& format, size_t maximumBytes)
{
    removeBinaryValues (document);
    UnicodeText::clean (document);

    for (;;)
    {
        const auto size = document.toString (format).getNumBytesAsUTF8();

        if (size <= maximumBytes)
            return;

        // A number's padding carries nothing: it goes before any text a user wrote is cut.
        if (const auto number = largestValueIn (document, true); number.bytes > shortValueBytes)
        {
            const juce::Identifier name (number.element->getAttributeName (number.index));
            const auto value = StateBlockReader::withReadableNumber (number.element->getAttributeValue (number.index));
            number.element->setAttribute (name, value.toString().getDoubleValue()); // the number it reads as, in a few bytes
            continue;
        }

        const auto largest = largestValueIn (document, false);

        if (largest.element == nullptr || largest.bytes <= shortValueBytes)
            return;

        // Cut by the whole excess, the largest value alone makes the document fit; the writer's
        // line breaks between attributes can then only get fewer.
        const auto excess = size - maximumBytes;
        const juce::Identifier name (largest.element->getAttributeName (largest.index));
        const auto value = largest.element->getAttributeValue (largest.index);
        largest.element->setAttribute (name, startOf (value, largest.bytes > excess ? largest.bytes - excess : 0));
    }
}

void SavedStateWriter::writeBlock (juce::XmlElement& document, juce::MemoryBlock& block)
{
    // The format the framework's copyXmlToBinary writes in.
    prepare (document, juce::XmlElement::TextFormat().singleLine(), StateBlockReader::maximumTextBytes);
    juce::AudioProcessor::copyXmlToBinary (document, block);
}

std::string SavedStateWriter::presetText (juce::XmlElement& document)
{
    const juce::XmlElement::TextFormat format;
    prepare (document, format, StateBlockReader::maximumTextBytes);
    return document.toString (format).toStdString();
}
