#include "HostReport.h"

#include "TestHost.h"

juce::String HostReport::parameterKey (juce::AudioPluginInstance& plugin, int index)
{
    if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (plugin.getParameters()[index]))
        if (hosted->getParameterID().isNotEmpty())
            return hosted->getParameterID();

    return juce::String (index);
}

void HostReport::printParameters (juce::AudioPluginInstance& plugin, const juce::String& prefix)
{
    const auto& parameters = plugin.getParameters();

    for (int i = 0; i < parameters.size(); ++i)
    {
        const auto key = prefix + parameterKey (plugin, i);
        TestHost::print (key + "=" + juce::String (parameters[i]->getValue()));
        TestHost::print (key + ".name=" + parameters[i]->getName (1024).replaceCharacter (' ', '_'));
        TestHost::print (key + ".text=" + parameters[i]->getCurrentValueAsText().replaceCharacter (' ', '_'));
    }
}

void HostReport::printTree (const juce::XmlElement& tree, const juce::String& prefix)
{
    const auto node = prefix + tree.getTagName();

    for (int i = 0; i < tree.getNumAttributes(); ++i)
        TestHost::print (node + "." + tree.getAttributeName (i) + "="
                         + tree.getAttributeValue (i).replace ("\n", "\\n"));

    for (auto* child : tree.getChildIterator())
        printTree (*child, prefix);
}
