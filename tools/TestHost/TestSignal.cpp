#include "TestSignal.h"

juce::AudioBuffer<float> TestSignal::make (const juce::String& kind, int channels, int length, double sampleRate)
{
    juce::AudioBuffer<float> signal (channels, length);
    signal.clear();
    juce::Random random (1234);

    for (int i = 0; i < length; ++i)
    {
        float v = 0.0f;

        if (kind == "impulse")
            v = i == 0 ? 1.0f : 0.0f;
        else if (kind == "sine")
            v = 0.5f * (float) std::sin (juce::MathConstants<double>::twoPi * 440.0 * i / sampleRate);
        else if (kind == "noise")
            v = 0.5f * (random.nextFloat() * 2.0f - 1.0f);
        else if (kind == "clicks") // a short burst every half second
            v = (i % (int) (sampleRate / 2)) < 64 ? 0.5f * (random.nextFloat() * 2.0f - 1.0f) : 0.0f;

        for (int c = 0; c < channels; ++c)
            signal.setSample (c, i, v);
    }

    return signal;
}
