#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** WAV files as the test host reads its input and writes what the plug-in played: 32-bit float,
    so nothing the plug-in produced is rounded or clipped. */
class WavFile
{
public:
    static bool read (const juce::File& file, juce::AudioBuffer<float>& signal, double& sampleRate);
    static bool write (const juce::File& file, const juce::AudioBuffer<float>& signal, double sampleRate);
};
