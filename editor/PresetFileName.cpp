#include "PresetFileName.h"

#include "../processor/UnicodeText.h"

#include <cstring>

namespace
{
    bool isSpaceOrDot (juce::juce_wchar c) { return c == ' ' || c == '.'; }

    juce::juce_wchar safeCharacter (juce::juce_wchar c)
    {
        // C0 and C1 controls, the separators of every platform and what Windows refuses in a name.
        const bool refused = c < 0x20 || (c >= 0x7f && c < 0xa0) || juce::CharPointer_ASCII ("/\\:*?\"<>|").indexOf (c) >= 0;
        return refused ? (juce::juce_wchar) '_' : c;
    }

    bool isWindowsDeviceName (const juce::String& base)
    {
        // CON, NUL, COM1 ... stay devices whatever extension follows them.
        const auto device = base.upToFirstOccurrenceOf (".", false, false).trimEnd().toUpperCase();

        for (auto* reserved : { "CON", "PRN", "AUX", "NUL" })
            if (device == reserved)
                return true;

        return device.length() == 4 && (device.startsWith ("COM") || device.startsWith ("LPT"))
            && device.getLastCharacter() >= '1' && device.getLastCharacter() <= '9';
    }
}

juce::String PresetFileName::forName (const juce::String& presetName, int number)
{
    const auto suffix = number > 1 ? " (" + juce::String (number) + ")" : juce::String();
    const auto budget = (size_t) maximumBytes - std::strlen (extension) - suffix.getNumBytesAsUTF8();

    // Only the start of a long name can reach the file name: cleaning never makes text shorter
    // than two thirds of its bytes (a surrogate pair's six become four).
    const auto* raw = presetName.toRawUTF8();
    const auto clean = UnicodeText::cleaned (std::string_view (raw, ::strnlen (raw, 2 * (size_t) maximumBytes + 16)));
    const auto name = juce::String::fromUTF8 (clean.data(), (int) clean.size());
    auto source = name.getCharPointer();

    while (! source.isEmpty() && isSpaceOrDot (*source))
        ++source;

    juce::String base;
    size_t bytes = 0;

    // Built up to one character past the budget at most, whatever the name's length.
    while (! source.isEmpty())
    {
        auto c = safeCharacter (source.getAndAdvance());

        if (base.isEmpty() && c == '~')
            c = '_';

        const auto size = juce::CharPointer_UTF8::getBytesRequiredFor (c);

        if (bytes + size > budget)
            break;

        base += c;
        bytes += size;
    }

    if (isWindowsDeviceName (base))
        base = "_" + base.dropLastCharacters (base.getNumBytesAsUTF8() < budget ? 0 : 1);

    while (base.isNotEmpty() && isSpaceOrDot (base.getLastCharacter()))
        base = base.dropLastCharacters (1);

    if (base.isEmpty())
        base = "Preset";

    return base + suffix + extension;
}

juce::File PresetFileName::withExtension (const juce::File& file)
{
    if (file.getFileName().endsWithIgnoreCase (extension))
        return file;

    return file.getSiblingFile (file.getFileName() + extension);
}

juce::String PresetFileName::nameOf (const juce::File& file)
{
    const auto name = file.getFileName();
    return name.endsWithIgnoreCase (extension) ? name.dropLastCharacters ((int) std::strlen (extension)) : name;
}
