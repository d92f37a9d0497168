#include "StateCommand.h"

#include "TestHost.h"

namespace
{
/** The plug-in's own part of a component state: the framework's "VC2!" block with its XML text.
    What the client appends behind it (the bypass state) is left out, so that a digest of it
    changes only when a setting of the plug-in does. */
juce::MemoryBlock pluginPart (const juce::MemoryBlock& component)
{
    if (component.getSize() < 8 || std::memcmp (component.getData(), "VC2!", 4) != 0)
        return component;

    const auto length = (size_t) juce::ByteOrder::littleEndianInt (static_cast<const char*> (component.getData()) + 4);
    return { component.getData(), juce::jmin (component.getSize(), 8 + length) };
}

// FNV-1a over the bytes, with the length: equal settings give equal digests.
juce::String digest (const juce::MemoryBlock& block)
{
    juce::uint64 hash = 14695981039346656037ull;

    for (size_t i = 0; i < block.getSize(); ++i)
        hash = (hash ^ (juce::uint8) block[i]) * 1099511628211ull;

    return juce::String::toHexString ((juce::int64) hash) + "-" + juce::String ((juce::int64) block.getSize());
}

void printSnapshot (juce::AudioPluginInstance& plugin, const juce::String& prefix)
{
    TestHost::print (prefix + ".settings=" + digest (pluginPart (TestHost::componentState (plugin))));

    juce::StringArray values;

    for (auto* parameter : plugin.getParameters())
        if (parameter != plugin.getBypassParameter())
            values.add (juce::String (parameter->getValue(), 9));

    TestHost::print (prefix + ".parameters=" + values.joinIntoString (","));

    if (auto* bypass = plugin.getBypassParameter())
        TestHost::print (prefix + ".bypass=" + juce::String (bypass->getValue() >= 0.5f ? 1 : 0));
}
} // namespace

int StateCommand::run (const juce::StringArray& args)
{
    juce::StringArray positional, sets, loads;
    juce::String componentOut;

    for (int i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--set" && i + 1 < args.size())
            sets.add (args[++i]);
        else if (args[i] == "--load" && i + 1 < args.size())
            loads.add (args[++i]);
        else if (args[i] == "--component-out" && i + 1 < args.size())
            componentOut = args[++i];
        else
            positional.add (args[i]);
    }

    if (positional.isEmpty())
    {
        TestHost::fail ("usage: state <bundle> [--set id=value]... [--component-out file] [--load file]...");
        return 2;
    }

    auto plugin = TestHost::loadOrReport (positional[0], 48000.0, 512);

    if (plugin == nullptr)
        return 1;

    if (! TestHost::applySets (*plugin, sets))
        return 1;

    TestHost::pumpMessages (100);
    printSnapshot (*plugin, "initial");

    if (componentOut.isNotEmpty())
    {
        const auto component = TestHost::componentState (*plugin);

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (componentOut).replaceWithData (component.getData(), component.getSize()))
        {
            TestHost::fail ("cannot write " + componentOut);
            return 1;
        }
    }

    for (int i = 0; i < loads.size(); ++i)
    {
        juce::MemoryBlock block;

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (loads[i]).loadFileAsData (block))
        {
            TestHost::fail ("cannot read " + loads[i]);
            return 1;
        }

        // The time the host's thread spends in the plug-in's setState.
        const auto start = juce::Time::getMillisecondCounterHiRes();
        TestHost::setComponentState (*plugin, block);
        const auto seconds = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
        TestHost::pumpMessages (20);
        printSnapshot (*plugin, "load" + juce::String (i));
        TestHost::print ("load" + juce::String (i) + ".seconds=" + juce::String (seconds, 3));
    }

    plugin.reset();
    TestHost::pumpMessages (50);
    return 0;
}
