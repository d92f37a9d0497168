#include "PluginStateTree.h"

namespace
{
// The framework's hosted VST3 state: an XML document whose IComponent element holds the
// component's state block in base 64.
constexpr const char* componentElement = "IComponent";
} // namespace

std::unique_ptr<juce::XmlElement> PluginStateTree::read (juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock hostState;
    plugin.getStateInformation (hostState);

    const auto document = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    const auto* component = document != nullptr ? document->getChildByName (componentElement) : nullptr;
    juce::MemoryBlock block;

    if (component == nullptr || ! block.fromBase64Encoding (component->getAllSubText()))
        return nullptr;

    if (auto tree = juce::AudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize()))
        return tree;

    // A block in another wrapping: the first XML text in it, up to its terminator.
    const auto* bytes = static_cast<const char*> (block.getData());
    const auto* end = bytes + block.getSize();
    const auto* start = std::find (bytes, end, '<');
    const auto* stop = std::find (start, end, '\0');
    return start < end ? juce::parseXML (juce::String::fromUTF8 (start, (int) (stop - start))) : nullptr;
}

juce::MemoryBlock PluginStateTree::componentState (const juce::XmlElement& tree)
{
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (tree, block);
    return block;
}

std::unique_ptr<juce::XmlElement> PluginStateTree::readFile (const juce::File& file)
{
    return file.getSize() <= 4 * 1024 * 1024 ? juce::parseXML (file) : nullptr;
}

void PluginStateTree::load (juce::AudioPluginInstance& plugin, const juce::XmlElement& tree)
{
    juce::XmlElement document ("VST3PluginState");
    document.createNewChildElement (componentElement)->addTextElement (componentState (tree).toBase64Encoding());

    juce::MemoryBlock hostState;
    juce::AudioProcessor::copyXmlToBinary (document, hostState);
    plugin.setStateInformation (hostState.getData(), (int) hostState.getSize());
}
