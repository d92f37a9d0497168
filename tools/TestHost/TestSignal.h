#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** The source signals the test host plays into the plug-in when it is given no input file. */
class TestSignal
{
public:
    /** impulse, sine (440 Hz), noise (uniform, +-0.5, the same on every run), clicks (a short burst
        of noise every half second) or silence (any other name), the same in every channel. */
    static juce::AudioBuffer<float> make (const juce::String& kind, int channels, int length, double sampleRate);
};
