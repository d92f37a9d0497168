#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

/** Loads the built VST3 bundle through the framework's own VST3 hosting, as a DAW would. */
class TestHost
{
public:
    /** Loads the first plug-in in the bundle; on failure returns nullptr and fills error. */
    static std::unique_ptr<juce::AudioPluginInstance> load (const juce::File& bundle,
                                                            double sampleRate,
                                                            int blockSize,
                                                            juce::String& error);

    /** Loads the bundle at a path relative to the working folder; on failure prints the error and
        returns nullptr. */
    static std::unique_ptr<juce::AudioPluginInstance> loadOrReport (const juce::String& bundlePath,
                                                                    double sampleRate,
                                                                    int blockSize);

    /** The 31-bit number the VST3 client gives a parameter ID string. */
    static juce::String vst3ParameterNumber (const juce::String& parameterId);

    /** Lets the message thread deliver what is pending for the given time (parameter values travel
        to the plug-in's controller asynchronously), as a host's message loop would. */
    static void pumpMessages (int milliseconds);

    /** A key=value line for the tests on stdout, or an error line on stderr. */
    static void print (const juce::String& line);
    static void fail (const juce::String& line);

    /** Appends a steps file (a path relative to the working folder, at most maxBytes) to `steps`;
        false with `error` filled when it cannot be read. */
    static bool appendStepsFile (const juce::String& path, juce::int64 maxBytes, juce::String& steps, juce::String& error);

    /** Finds a parameter by its ID string or its name. */
    static juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& plugin,
                                                         const juce::String& idOrName);

    /** Applies "id=value" pairs (normalised values, or "nan") as host edits, each one complete gesture. */
    static bool applySets (juce::AudioPluginInstance& plugin, const juce::StringArray& sets);

    /** The plug-in's component state (IComponent::getState), the bytes a DAW keeps in its project. */
    static juce::MemoryBlock componentState (juce::AudioPluginInstance& plugin);

    /** Hands raw component state to the plug-in through the host's state call, which the
        framework's hosting passes on to IComponent::setState. */
    static void setComponentState (juce::AudioPluginInstance& plugin, const juce::MemoryBlock& component);

    /** The programs of the plug-in's program lists as a VST3 host reads them (IUnitInfo), one
        "list/index=name" entry each. */
    static juce::StringArray vst3ProgramNames (juce::AudioPluginInstance& plugin);
};
