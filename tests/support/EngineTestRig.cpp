#include "EngineTestRig.h"

#include "processor/PluginProcessor.h"

#include <random>

juce::ValueTree EngineTestRig::defaultTree()
{
    static const juce::ValueTree prototype = []
    {
        const auto processor = std::make_unique<OndulaDelayAudioProcessor>();
        return processor->stateTree.createCopy();
    }();

    return prototype.createCopy();
}

EngineTestRig::EngineTestRig (bool rightChannel, double sampleRate, int maxBlock)
    : tree (defaultTree()), engine (std::make_unique<OndulaDelay> (mappings))
{
    engine->isRightChannel = rightChannel;
    engine->setValueTree (tree);
    engine->prepare ({ sampleRate, (juce::uint32) maxBlock, 1 });
}

juce::ValueTree EngineTestRig::node (const juce::String& type) const
{
    for (const auto& group : tree)
    {
        if (group.hasType (type))
            return group;

        const auto child = group.getChildWithName (type);

        if (child.isValid())
            return child;
    }

    return {};
}

void EngineTestRig::set (const juce::String& nodeType, const juce::String& property, const juce::var& value)
{
    auto target = node (nodeType);
    jassert (target.isValid());
    target.setProperty (property, value, nullptr);
}

void EngineTestRig::process (float* samples, int n)
{
    juce::dsp::AudioBlock<float> block (&samples, 1, (size_t) n);
    engine->processSIMDSmart (juce::dsp::ProcessContextReplacing<float> (block));
}

void EngineTestRig::process (std::vector<float>& block)
{
    process (block.data(), (int) block.size());
}

std::vector<float> noiseBlock (int n, unsigned seed, float amplitude)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    std::vector<float> block ((size_t) n);

    for (auto& x : block)
        x = dist (random);

    return block;
}
