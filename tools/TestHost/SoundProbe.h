#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

/** Measures what a live plug-in plays: silence first, so that what it played before has left
    its delay lines and its smoothed settings have arrived, then an impulse in every channel. */
class SoundProbe
{
public:
    struct Result
    {
        juce::AudioBuffer<float> audio; // the measured part, from the impulse on
        double sampleRate = 48000.0;
        float rms = 0.0f;
        float peak = 0.0f;
        int onsetSample = -1; // first sample after the first millisecond above 0.001, or -1
    };

    /** Runs on the calling thread; no other thread may process the plug-in meanwhile. */
    static Result render (juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                          double seconds, double flushSeconds);

    /** RMS of the difference relative to the RMS of the first (1 when the first is silent and
        the second is not, 0 when both are silent). */
    static double difference (const Result& first, const Result& second);

    static bool writeWav (const juce::File& file, const Result& result);
};
