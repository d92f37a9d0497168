#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <string>

class CommandLineInterpreter;

/** Holds the handle through which the editor's preset strip reads and writes the preset name. */
class PresetManager
{
public:
    explicit PresetManager (CommandLineInterpreter& console) : commandLine (console) {}

    /** The root's "preset_name" as UTF-8; empty when the property is missing. */
    std::string getPresetName() const;

    CommandLineInterpreter& commandLine;
    juce::ValueTree tree; // the state tree's root, assigned by the processor once it is built
};
