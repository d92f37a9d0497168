#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

/** A mode selector of the three whole values 0, 1 and 2, default 1. The framework's integer
    parameter does not call itself discrete, so a VST3 host would otherwise offer a continuous
    lane for what can only ever take three values. */
class ModeParameter : public juce::AudioParameterInt
{
public:
    ModeParameter (const juce::ParameterID& id, const juce::String& name)
        : juce::AudioParameterInt (id, name, 0, 2, 1) {}

    bool isDiscrete() const override { return true; }
};
