#include "support/ProcessorFixture.h"

ProcessorFixture::ProcessorFixture()
    : processor (std::make_unique<OndulaDelayAudioProcessor>())
{
    processor->addListener (this);
}

ProcessorFixture::~ProcessorFixture()
{
    processor->removeListener (this);
}

juce::ValueTree ProcessorFixture::node (const juce::String& type) const
{
    std::function<juce::ValueTree (const juce::ValueTree&)> find = [&] (const juce::ValueTree& tree)
    {
        if (tree.getType().toString() == type)
            return tree;

        for (const auto& child : tree)
            if (auto found = find (child); found.isValid())
                return found;

        return juce::ValueTree();
    };

    return find (processor->stateTree);
}

juce::RangedAudioParameter& ProcessorFixture::parameter (const juce::String& id) const
{
    auto* p = processor->parameters.getParameter (id);
    EXPECT_NE (p, nullptr) << id;
    return *p;
}
