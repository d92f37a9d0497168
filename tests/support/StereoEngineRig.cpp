#include "StereoEngineRig.h"

#include "EngineTestRig.h"

StereoEngineRig::StereoEngineRig (double sampleRate, int maxBlock)
    : tree (EngineTestRig::defaultTree()),
      left (std::make_unique<OndulaDelay> (mappings)),
      right (std::make_unique<OndulaDelay> (mappings))
{
    right->isRightChannel = true;

    for (auto* engine : { left.get(), right.get() })
    {
        engine->setValueTree (tree);
        engine->prepare ({ sampleRate, (juce::uint32) maxBlock, 1 });
    }
}

void StereoEngineRig::set (const juce::String& nodeType, const juce::String& property, const juce::var& value)
{
    for (const auto& group : tree)
    {
        auto node = group.getChildWithName (nodeType);

        if (node.isValid())
        {
            node.setProperty (property, value, nullptr);
            return;
        }
    }

    jassertfalse;
}

void StereoEngineRig::process (std::vector<float>& leftBlock, std::vector<float>& rightBlock)
{
    float* channels[2] { leftBlock.data(), rightBlock.data() };
    juce::dsp::AudioBlock<float> l (channels, 1, leftBlock.size()), r (channels + 1, 1, rightBlock.size());
    OndulaDelay::processStereo (*left, *right, juce::dsp::ProcessContextReplacing<float> (l),
                                juce::dsp::ProcessContextReplacing<float> (r));
}
