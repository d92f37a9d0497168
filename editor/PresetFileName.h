#pragma once

#include <juce_core/juce_core.h>

// How a preset's name becomes the name of its file, and a chosen file a preset's name. The name
// itself is kept whole in the preset; only the file name is made safe and short enough.
class PresetFileName
{
public:
    static constexpr const char* extension = ".ondulapreset";

    // The most bytes a file name may have on the common file systems (ext4, APFS, NTFS count 255
    // bytes or UTF-16 units; 255 bytes of UTF-8 never exceed 255 units).
    static constexpr int maximumBytes = 255;

    // A plain file name for the preset name, extension included: never empty, never a path, and
    // nothing the framework's path parsing reads as one ("~user", ".", ".."). Its characters are
    // those the plug-in keeps (UnicodeText), so it is always valid UTF-8, which the folder's
    // listing needs; control characters, separators and the characters Windows and macOS refuse
    // become '_'; leading and trailing dots and spaces go; a leading '~' and a Windows device name
    // get a '_'; a name too long is cut at a character boundary. A number above 1 follows the name
    // as " (2)", within the same length. Stops reading once the file name is full.
    static juce::String forName (const juce::String& presetName, int number = 1);

    // The file with the extension appended unless its name already ends with it: a name's own dots
    // ("Pad v1.5") are never taken for an extension.
    static juce::File withExtension (const juce::File& file);

    // The preset name a file chosen in the save dialog stands for: its name without the extension.
    static juce::String nameOf (const juce::File& file);
};
