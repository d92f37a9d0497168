#include "PresetFolder.h"

#include <mutex>

namespace
{
std::mutex redirectionLock;
juce::File redirection; // guarded by redirectionLock
} // namespace

PresetFolder::PresetFolder (juce::File folderToUse) : directory (std::move (folderToUse)) {}

void PresetFolder::redirectDefaultDirectory (const juce::File& folder)
{
    const std::lock_guard<std::mutex> lock (redirectionLock);
    redirection = folder;
}

juce::File PresetFolder::defaultDirectory()
{
    {
        const std::lock_guard<std::mutex> lock (redirectionLock);

        if (redirection != juce::File())
            return redirection;
    }

    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Kelvatone")
        .getChildFile ("Ondula Delay Free")
        .getChildFile ("Presets");
}

juce::Array<juce::File> PresetFolder::presets() const
{
    auto files = directory.findChildFiles (juce::File::findFiles, false, juce::String ("*") + extension);

    struct ByName
    {
        static int compareElements (const juce::File& a, const juce::File& b)
        {
            const int byName = a.getFileName().compareNatural (b.getFileName());
            return byName != 0 ? byName : a.getFileName().compare (b.getFileName());
        }
    };

    ByName comparator;
    files.sort (comparator);
    return files;
}

juce::File PresetFolder::neighbour (const juce::File& current, const juce::String& currentName, int step) const
{
    const auto files = presets();

    if (files.isEmpty())
        return {};

    int index = files.indexOf (current);

    if (index < 0)
        for (int i = 0; i < files.size() && index < 0; ++i)
            if (files.getReference (i).getFileNameWithoutExtension().equalsIgnoreCase (currentName))
                index = i;

    if (index < 0)
        return step >= 0 ? files.getFirst() : files.getLast();

    const int count = files.size();
    return files[((index + step) % count + count) % count];
}

juce::String PresetFolder::write (const juce::ValueTree& tree, const juce::File& file)
{
    const auto xml = tree.createXml();

    if (xml == nullptr)
        return "nothing to save";

    if (! file.getParentDirectory().createDirectory())
        return "cannot create " + file.getParentDirectory().getFullPathName();

    // Written beside the target and moved over it, so a failed write never leaves half a preset.
    juce::TemporaryFile temporary (file);

    if (! xml->writeTo (temporary.getFile()) || ! temporary.overwriteTargetFileWithTemporary())
        return "cannot write " + file.getFullPathName();

    return {};
}

std::unique_ptr<juce::XmlElement> PresetFolder::read (const juce::File& file, juce::String& error)
{
    if (! file.existsAsFile())
    {
        error = "no such file";
        return nullptr;
    }

    if (file.getSize() > maxFileBytes)
    {
        error = UntrustedXml::describe (UntrustedXml::Refusal::tooLarge, StateBlockReader::limits());
        return nullptr;
    }

    juce::MemoryBlock bytes;

    if (juce::FileInputStream stream (file); stream.openedOk())
        stream.readIntoMemoryBlock (bytes, (juce::pointer_sized_int) maxFileBytes + 1); // a file that grew since is refused by the gate
    else
    {
        error = "cannot open the file";
        return nullptr;
    }

    return readText (std::string_view (static_cast<const char*> (bytes.getData()), bytes.getSize()), error);
}

std::unique_ptr<juce::XmlElement> PresetFolder::readText (std::string_view text, juce::String& error)
{
    auto refusal = UntrustedXml::Refusal::none;
    auto xml = StateBlockReader::parseText (text, &refusal);

    if (xml == nullptr)
    {
        error = UntrustedXml::describe (refusal, StateBlockReader::limits());
        return nullptr;
    }

    if (! xml->getTagName().equalsIgnoreCase ("top"))
    {
        error = "not a preset";
        return nullptr;
    }

    return xml;
}
