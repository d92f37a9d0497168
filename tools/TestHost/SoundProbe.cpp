#include "SoundProbe.h"

#include "WavFile.h"

#include <juce_audio_formats/juce_audio_formats.h>

SoundProbe::Result SoundProbe::render (juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                                       double seconds, double flushSeconds)
{
    const int channels = juce::jmax (plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels());
    juce::AudioBuffer<float> block (channels, blockSize);
    juce::MidiBuffer midi;

    for (auto remaining = (juce::int64) (flushSeconds * sampleRate); remaining > 0; remaining -= blockSize)
    {
        block.clear();
        plugin.processBlock (block, midi);
    }

    Result result;
    result.sampleRate = sampleRate;
    result.audio.setSize (plugin.getTotalNumOutputChannels(), (int) (seconds * sampleRate));
    result.audio.clear();

    for (int position = 0; position < result.audio.getNumSamples(); position += blockSize)
    {
        const int length = juce::jmin (blockSize, result.audio.getNumSamples() - position);
        block.clear();

        if (position == 0)
            for (int c = 0; c < plugin.getTotalNumInputChannels(); ++c)
                block.setSample (c, 0, 1.0f);

        plugin.processBlock (block, midi);

        for (int c = 0; c < result.audio.getNumChannels(); ++c)
            result.audio.copyFrom (c, position, block, c, 0, length);
    }

    const int firstMillisecond = (int) (sampleRate / 1000.0);
    double sumOfSquares = 0.0;

    for (int i = 0; i < result.audio.getNumSamples(); ++i)
    {
        for (int c = 0; c < result.audio.getNumChannels(); ++c)
        {
            const auto v = result.audio.getSample (c, i);
            sumOfSquares += (double) v * v;
            result.peak = juce::jmax (result.peak, std::abs (v));

            if (result.onsetSample < 0 && i >= firstMillisecond && std::abs (v) > 0.001f)
                result.onsetSample = i;
        }
    }

    const auto count = (double) result.audio.getNumSamples() * juce::jmax (1, result.audio.getNumChannels());
    result.rms = (float) std::sqrt (sumOfSquares / juce::jmax (1.0, count));
    return result;
}

double SoundProbe::difference (const Result& first, const Result& second)
{
    double differenceSquares = 0.0, firstSquares = 0.0;
    const int channels = juce::jmin (first.audio.getNumChannels(), second.audio.getNumChannels());
    const int length = juce::jmin (first.audio.getNumSamples(), second.audio.getNumSamples());

    for (int c = 0; c < channels; ++c)
    {
        for (int i = 0; i < length; ++i)
        {
            const double a = first.audio.getSample (c, i), b = second.audio.getSample (c, i);
            differenceSquares += (a - b) * (a - b);
            firstSquares += a * a;
        }
    }

    if (firstSquares == 0.0)
        return differenceSquares == 0.0 ? 0.0 : 1.0;

    return std::sqrt (differenceSquares / firstSquares);
}

bool SoundProbe::writeWav (const juce::File& file, const Result& result)
{
    return WavFile::write (file, result.audio, result.sampleRate);
}
