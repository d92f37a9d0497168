#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include "../processor/StateBlockReader.h"
#include "PresetFileName.h"

#include <memory>
#include <string_view>

// The per-user folder of preset files. A preset file holds the state tree as XML, the same
// tree that the plug-in's saved state carries.
class PresetFolder
{
public:
    explicit PresetFolder (juce::File folderToUse = defaultDirectory());

    // <user application data>/Kelvatone/Ondula Delay Free/Presets, unless redirected.
    static juce::File defaultDirectory();

    // Points defaultDirectory() at another folder for the rest of the process; an empty File
    // points it back. Nothing in the plug-in calls it: the tests do, so that they never read or
    // write the user's own presets.
    static void redirectDefaultDirectory (const juce::File& folder);

    static constexpr const char* extension = PresetFileName::extension;

    const juce::File& getDirectory() const noexcept { return directory; }

    // The preset files of the folder, in name order (numbers compared by value, case ignored).
    juce::Array<juce::File> presets() const;

    // The preset `step` places after `current` in name order, wrapping at both ends. A current
    // preset that is not in the folder is matched by name (its file name, as PresetFileName makes
    // it, or the name itself); failing that, stepping forward starts at the first preset and
    // stepping back at the last. None when the folder is empty.
    juce::File neighbour (const juce::File& current, const juce::String& currentName, int step) const;

    // Writes the tree as XML; returns an empty string or the reason it failed.
    static juce::String write (const juce::ValueTree& tree, const juce::File& file);

    // Writes the document, as SavedStateWriter makes it ready for the gate, as a whole new file
    // beside the target and moves it over the target in one rename, after every write, the flush
    // and the close succeeded; on any failure the new file is removed and the target is left as it
    // was. A target that is a folder, or a link to one, is refused ("a folder has that name").
    // Returns an empty string or the reason, short and first-worded for the console ("disk full",
    // "name too long", ...).
    static juce::String write (const juce::XmlElement& document, const juce::File& file);

    // Reads a preset file: the parsed tree, or nullptr with the reason in `error`. Only a
    // regular file is opened, without blocking (never a FIFO, socket or device), and only a
    // document whose root is the state tree ("top", case ignored) is accepted. What the gate left
    // out of the tree goes to `leftOut`, when given.
    static std::unique_ptr<juce::XmlElement> read (const juce::File& file, juce::String& error,
                                                   UntrustedXml::LeftOut* leftOut = nullptr);

    // The same for a preset's text: it passes the gate of saved states, with their limits.
    static std::unique_ptr<juce::XmlElement> readText (std::string_view text, juce::String& error,
                                                       UntrustedXml::LeftOut* leftOut = nullptr);

    // Larger files are refused unread: a preset holds what a saved state holds.
    static constexpr juce::int64 maxFileBytes = (juce::int64) StateBlockReader::maximumTextBytes;

private:
    juce::File directory;
};
