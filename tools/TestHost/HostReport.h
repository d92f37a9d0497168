#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

/** Prints what a host can know of a plug-in as key=value lines: its parameters and the settings
    tree inside its saved state. */
class HostReport
{
public:
    /** The key a parameter is printed under: the number the VST3 host knows it by (the hash of
        its ID string), or its index when the plug-in gives none. */
    static juce::String parameterKey (juce::AudioPluginInstance& plugin, int index);

    /** <prefix><key>=<normalised value>, <prefix><key>.name=..., <prefix><key>.text=... */
    static void printParameters (juce::AudioPluginInstance& plugin, const juce::String& prefix);

    /** <prefix><node type>.<attribute>=<value> for every node, depth first; nodes are told apart
        by their type, which is unique in a JUCE plug-in's settings tree of this kind. */
    static void printTree (const juce::XmlElement& tree, const juce::String& prefix);
};
