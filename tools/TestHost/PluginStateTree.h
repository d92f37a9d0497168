#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

/** The settings tree a JUCE plug-in keeps in its saved state, reached from the host side: out of
    the host's state block (the plug-in's own block, the framework's XML-in-binary, inside the
    VST3 component state) and back in, as a host restoring a project does. */
class PluginStateTree
{
public:
    /** The plug-in's tree as XML, or nullptr when its state holds none. */
    static std::unique_ptr<juce::XmlElement> read (juce::AudioPluginInstance& plugin);

    /** Hands the tree to the plug-in as the whole of its component state. */
    static void load (juce::AudioPluginInstance& plugin, const juce::XmlElement& tree);

    /** The component state that holds just this tree, in the plug-in's own wrapping. */
    static juce::MemoryBlock componentState (const juce::XmlElement& tree);

    /** A tree written as an XML file, or nullptr when it cannot be read (or is over 4 MB). */
    static std::unique_ptr<juce::XmlElement> readFile (const juce::File& file);
};
