#include "TestHost.h"

#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivstunits.h>

#include <iostream>
#include <limits>

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

std::unique_ptr<juce::AudioPluginInstance> TestHost::loadOrReport (const juce::String& bundlePath,
                                                                   double sampleRate,
                                                                   int blockSize)
{
    juce::String error;
    auto plugin = load (juce::File::getCurrentWorkingDirectory().getChildFile (bundlePath), sampleRate, blockSize, error);

    if (plugin == nullptr)
        fail (error);

    return plugin;
}

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

bool TestHost::appendStepsFile (const juce::String& path, juce::int64 maxBytes, juce::String& steps, juce::String& error)
{
    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (path);

    if (! file.existsAsFile() || file.getSize() > maxBytes)
    {
        error = "cannot read the steps file " + file.getFullPathName();
        return false;
    }

    steps << file.loadFileAsString() << "\n";
    return true;
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

bool TestHost::applySets (juce::AudioPluginInstance& plugin, const juce::StringArray& sets)
{
    for (const auto& set : sets)
    {
        const auto id = set.upToFirstOccurrenceOf ("=", false, false);
        auto* parameter = findParameter (plugin, id);

        if (parameter == nullptr)
        {
            fail ("unknown parameter " + id);
            return false;
        }

        // "nan" as well, for what a careless host might send.
        const auto text = set.fromFirstOccurrenceOf ("=", false, false).trim();
        const auto value = text.equalsIgnoreCase ("nan") ? std::numeric_limits<float>::quiet_NaN() : text.getFloatValue();

        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost (value);
        parameter->endChangeGesture();
    }

    return true;
}

// The framework's VST3 hosting keeps a plug-in's state as XML holding the base64 of what
// IComponent::getState wrote, and hands that back to IComponent::setState on restore.
juce::MemoryBlock TestHost::componentState (juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock hostState, component;
    plugin.getStateInformation (hostState);

    if (const auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
        if (auto* child = xml->getChildByName ("IComponent"))
            component.fromBase64Encoding (child->getAllSubText());

    return component;
}

void TestHost::setComponentState (juce::AudioPluginInstance& plugin, const juce::MemoryBlock& component)
{
    juce::XmlElement xml ("VST3PluginState");
    xml.createNewChildElement ("IComponent")->addTextElement (component.toBase64Encoding());

    juce::MemoryBlock hostState;
    juce::AudioProcessor::copyXmlToBinary (xml, hostState);
    plugin.setStateInformation (hostState.getData(), (int) hostState.getSize());
}

juce::StringArray TestHost::vst3ProgramNames (juce::AudioPluginInstance& plugin)
{
    struct Visitor : juce::ExtensionsVisitor
    {
        void visitVST3Client (const VST3Client& client) override { component = client.getIComponentPtr(); }
        Steinberg::Vst::IComponent* component = nullptr;
    } visitor;

    plugin.getExtensions (visitor);
    juce::StringArray names;

    if (visitor.component == nullptr)
        return names;

    Steinberg::FUnknownPtr<Steinberg::Vst::IUnitInfo> units (visitor.component);

    if (units == nullptr)
        return names;

    const auto toString = [] (const Steinberg::Vst::String128 text)
    {
        juce::String result;

        for (int i = 0; i < 128 && text[i] != 0; ++i)
            result += juce::String::charToString ((juce::juce_wchar) (juce::uint16) text[i]);

        return result;
    };

    for (Steinberg::int32 list = 0; list < units->getProgramListCount(); ++list)
    {
        Steinberg::Vst::ProgramListInfo info {};

        if (units->getProgramListInfo (list, info) != Steinberg::kResultOk)
            continue;

        for (Steinberg::int32 program = 0; program < info.programCount; ++program)
        {
            Steinberg::Vst::String128 name {};

            if (units->getProgramName (info.id, program, name) == Steinberg::kResultOk)
                names.add (juce::String (list) + "/" + juce::String (program) + "=" + toString (name));
            else
                names.add (juce::String (list) + "/" + juce::String (program) + " (no name)");
        }
    }

    return names;
}
