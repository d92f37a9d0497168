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

    /** The 31-bit number the VST3 client gives a parameter ID string. */
    static juce::String vst3ParameterNumber (const juce::String& parameterId);

    /** Lets the message thread deliver what is pending for the given time (parameter values travel
        to the plug-in's controller asynchronously), as a host's message loop would. */
    static void pumpMessages (int milliseconds);

    /** A key=value line for the tests on stdout, or an error line on stderr. */
    static void print (const juce::String& line);
    static void fail (const juce::String& line);

    /** Finds a parameter by its ID string or its name. */
    static juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& plugin,
                                                         const juce::String& idOrName);
};
