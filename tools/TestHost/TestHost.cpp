#include "TestHost.h"

#include <iostream>

namespace juce
{
// The framework's own dispatch step; its dispatch-until helper is compiled out with modal loops.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

void TestHost::pumpMessages (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

void TestHost::print (const juce::String& line) { std::cout << line << std::endl; }
void TestHost::fail (const juce::String& line) { std::cerr << "error: " << line << std::endl; }

std::unique_ptr<juce::AudioPluginInstance> TestHost::load (const juce::File& bundle,
                                                           double sampleRate,
                                                           int blockSize,
                                                           juce::String& error)
{
    juce::AudioPluginFormatManager formats;
    formats.addFormat (new juce::VST3PluginFormat());

    juce::OwnedArray<juce::PluginDescription> types;

    for (auto* format : formats.getFormats())
        if (format->fileMightContainThisPluginType (bundle.getFullPathName()))
            format->findAllTypesForFile (types, bundle.getFullPathName());

    if (types.isEmpty())
    {
        error = "no plug-in found in " + bundle.getFullPathName();
        return nullptr;
    }

    return formats.createPluginInstance (*types.getFirst(), sampleRate, blockSize, error);
}

juce::String TestHost::vst3ParameterNumber (const juce::String& parameterId)
{
    // The VST3 client numbers parameters by the ID's hash, limited to 31 bits.
    return juce::String ((juce::uint32) parameterId.hashCode() & 0x7fffffffu);
}

juce::AudioProcessorParameter* TestHost::findParameter (juce::AudioPluginInstance& plugin,
                                                        const juce::String& idOrName)
{
    const auto number = vst3ParameterNumber (idOrName);

    for (auto* parameter : plugin.getParameters())
    {
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (parameter))
            if (hosted->getParameterID() == number || hosted->getParameterID() == idOrName)
                return parameter;

        if (parameter->getName (1024) == idOrName)
            return parameter;
    }

    return nullptr;
}
