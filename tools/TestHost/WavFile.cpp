#include "WavFile.h"

#include <juce_audio_formats/juce_audio_formats.h>

bool WavFile::read (const juce::File& file, juce::AudioBuffer<float>& signal, double& sampleRate)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));

    if (reader == nullptr)
        return false;

    signal.setSize ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (&signal, 0, (int) reader->lengthInSamples, 0, true, true);
    sampleRate = reader->sampleRate;
    return true;
}

bool WavFile::write (const juce::File& file, const juce::AudioBuffer<float>& signal, double sampleRate)
{
    file.deleteFile();
    auto stream = file.createOutputStream();

    if (stream == nullptr)
        return false;

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), sampleRate, (unsigned int) signal.getNumChannels(), 32, {}, 0));

    if (writer == nullptr)
        return false;

    stream.release(); // the writer owns it now
    return writer->writeFromAudioSampleBuffer (signal, 0, signal.getNumSamples());
}
