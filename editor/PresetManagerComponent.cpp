#include "PresetManagerComponent.h"

#include "../processor/UnicodeText.h"

PresetManagerComponent::PresetManagerComponent (PresetManager& presetManagerToUse, CommandLineInterpreter& console)
    : presetManager (presetManagerToUse), commandLineInterpreter (console)
{
    for (auto* button : { &loadButton, &saveButton, &prevButton, &nextButton })
    {
        button->normalColour = lookAndFeel.c4;
        button->activeColour = lookAndFeel.c9;
        button->showsState = false;
        button->showsCross = true;
    }

    for (juce::Component* child : { (juce::Component*) &loadButton, (juce::Component*) &saveButton,
                                     (juce::Component*) &prevButton, (juce::Component*) &nextButton,
                                     (juce::Component*) &presetNameLabel })
        addAndMakeVisible (child);

    presetNameLabel.setFont (LookAndFeel_KT::getRobotoRegular (20.0f));
    presetNameLabel.setText ("Preset Name", juce::dontSendNotification);
    presetNameLabel.setJustificationType (juce::Justification::centred);
    presetNameLabel.setEditable (true, false, false);

    presetNameLabel.setColour (juce::Label::backgroundColourId, lookAndFeel.c0);
    presetNameLabel.setColour (juce::Label::textColourId, lookAndFeel.c12);
    presetNameLabel.setColour (juce::Label::outlineColourId, lookAndFeel.c0);
    presetNameLabel.setColour (juce::Label::backgroundWhenEditingColourId, lookAndFeel.c2);
    presetNameLabel.setColour (juce::Label::textWhenEditingColourId, lookAndFeel.c12);
    presetNameLabel.setColour (juce::Label::outlineWhenEditingColourId, lookAndFeel.c2);

    presetNameLabel.onTextChange = [this]
    {
        if (renamePreset (presetNameLabel.getText()))
            tellHostStateChanged();
    };

    saveButton.onClick = [this] { chooseFileToSave(); };
    loadButton.onClick = [this] { chooseFileToLoad(); };
    prevButton.onClick = [this] { stepPreset (-1); };
    nextButton.onClick = [this] { stepPreset (1); };

    startTimer (100);
}

PresetManagerComponent::~PresetManagerComponent()
{
    stopTimer();
}

void PresetManagerComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
}

void PresetManagerComponent::resized()
{
    const int w = getWidth();
    const int h = getHeight();
    const int buttonY = (h - 25) / 2;

    prevButton.setBounds (4, buttonY, 50, 25);
    nextButton.setBounds (58, buttonY, 50, 25);
    presetNameLabel.setBounds (112, (h - 30) / 2, w - 224, 30);
    loadButton.setBounds (w - 108, buttonY, 50, 25);
    saveButton.setBounds (w - 54, buttonY, 50, 25);
}

void PresetManagerComponent::timerCallback()
{
    refreshName();
}

void PresetManagerComponent::refreshName()
{
    const auto name = presetManager.getPresetName();
    const auto shown = shownPart (name);

    if (shown != presetNameLabel.getText().toStdString())
        presetNameLabel.setText (juce::String::fromUTF8 (shown.data(), (int) shown.size()), juce::dontSendNotification);
}

std::string_view PresetManagerComponent::shownPart (std::string_view name)
{
    int characters = 0;

    for (size_t i = 0; i < name.size(); ++i)
        if (((unsigned char) name[i] & 0xc0) != 0x80 && characters++ == maxShownCharacters) // at a character's first byte
            return name.substr (0, i);

    return name;
}

namespace
{
    // Names and reasons go into console markup, where a backtick would start a style marker.
    juce::String plain (const juce::String& text)
    {
        return text.replaceCharacter ('`', '\'');
    }
}

void PresetManagerComponent::report (const juce::String& message, bool isError)
{
    const auto line = (isError ? juce::String ("`5 Preset `0 ") : juce::String ("`2 Preset `0 ")) + message;

    if (isError)
        commandLineInterpreter.echo_blink (line.toStdString());
    else
        commandLineInterpreter.echo (line.toStdString());
}

bool PresetManagerComponent::savePresetTo (const juce::File& file)
{
    return savePresetTo (file, PresetFileName::nameOf (file));
}

bool PresetManagerComponent::savePresetTo (const juce::File& file, const juce::String& requestedName)
{
    if (takeHostValues != nullptr)
        takeHostValues();

    // The name as the file will hold it, so the preset keeps the name it loads back with.
    const auto name = UnicodeText::cleaned (requestedName);
    auto& tree = presetManager.tree;
    const auto xml = tree.isValid() ? tree.createXml() : nullptr;

    if (xml == nullptr)
    {
        report ("Nothing to save", true);
        return false;
    }

    if (xml->hasAttribute ("preset_name"))
        xml->setAttribute ("preset_name", name);

    // The reason first: a long file name would push it out of the strip.
    if (const auto error = PresetFolder::write (*xml, file); error.isNotEmpty())
    {
        report ("Could not save, " + plain (error) + " `1" + plain (file.getFileName()), true);
        return false;
    }

    // Renamed only once the file holds the new name, so a failed save changes nothing.
    if (renamePreset (name))
        tellHostStateChanged();

    currentPresetFile = file;
    report ("Saved " + plain (name) + " `1" + plain (file.getFullPathName()), false);
    return true;
}

bool PresetManagerComponent::loadPresetFrom (const juce::File& file)
{
    juce::String error;
    UntrustedXml::LeftOut leftOut;
    const auto xml = PresetFolder::read (file, error, &leftOut);

    if (xml == nullptr)
    {
        report ("Could not load " + plain (file.getFileName()) + " `1" + plain (error) + ", nothing changed", true);
        return false;
    }

    if (loadState == nullptr)
    {
        report ("Presets cannot be applied here", true);
        return false;
    }

    loadState (*xml);
    tellHostStateChanged();
    currentPresetFile = file;

    if (leftOut.binaryValues > 0)
        report ("Loaded, " + plain (UntrustedXml::describe (leftOut)) + " `1" + plain (file.getFileNameWithoutExtension()), true);
    else
        report ("Loaded " + plain (file.getFileNameWithoutExtension()), false);

    return true;
}

bool PresetManagerComponent::stepPreset (int step)
{
    const auto name = presetManager.getPresetName();
    const auto next = presetFolder.neighbour (currentPresetFile, juce::String::fromUTF8 (name.data(), (int) name.size()), step);

    if (next == juce::File())
    {
        report ("No presets in `1" + plain (presetFolder.getDirectory().getFullPathName()), true);
        return false;
    }

    // A refused file is stepped past too: the next press goes on from it.
    currentPresetFile = next;
    return loadPresetFrom (next);
}

bool PresetManagerComponent::renamePreset (const juce::String& typedName)
{
    const auto name = UnicodeText::cleaned (typedName);
    auto& tree = presetManager.tree;

    // Only a name the tree already holds is renamed; the strip never adds the key.
    if (! tree.isValid() || ! tree.hasProperty ("preset_name") || tree["preset_name"].toString() == name)
        return false;

    tree.setProperty ("preset_name", name, nullptr);
    return true;
}

void PresetManagerComponent::tellHostStateChanged()
{
    if (stateNotifier != nullptr)
        stateNotifier->stateChangedByUser();
}

namespace
{
    // On Linux the framework's own dialog: it lists folders through the patched iterator, while
    // a native one hands back names as raw bytes that the framework's strings cannot hold safely.
   #if JUCE_LINUX || JUCE_BSD
    constexpr bool useNativeDialog = false;
   #else
    constexpr bool useNativeDialog = true;
   #endif
}

juce::File PresetManagerComponent::suggestedFileFor (const juce::String& name) const
{
    const auto& folder = presetFolder.getDirectory();

    // The dialog opens inside a folder it is handed, where Save would then write, so a folder or
    // a link to one that holds the name is passed by for the next free name: "Pad (2)", ...
    for (int number = 1; number <= maximumNumberedNames; ++number)
        if (const auto file = folder.getChildFile (PresetFileName::forName (name, number)); ! file.isDirectory())
            return file;

    // Only a crafted folder gets here: the dialog then opens on the folder with an empty name.
    return folder;
}

void PresetManagerComponent::chooseFileToSave()
{
    // The stored name, whole: the label holds only its first characters.
    const auto stored = presetManager.getPresetName();
    const auto name = juce::String::fromUTF8 (stored.data(), (int) stored.size());
    const auto suggested = suggestedFileFor (name);

    presetFolder.getDirectory().createDirectory();
    fileChooser = std::make_unique<juce::FileChooser> ("Save preset", suggested, juce::String ("*") + PresetFolder::extension,
                                                       useNativeDialog);

    const auto flags = juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                     | juce::FileBrowserComponent::warnAboutOverwriting;

    // The chooser is owned by the strip and dies with it, so the callback never outlives `this`.
    fileChooser->launchAsync (flags, [this, suggested, name] (const juce::FileChooser& chooser)
    {
        const auto result = chooser.getResult();

        if (result != juce::File())
            saveChosenFile (result, suggested, name);
    });
}

bool PresetManagerComponent::saveChosenFile (const juce::File& chosen, const juce::File& suggested, const juce::String& name)
{
    auto file = PresetFileName::withExtension (chosen);

    // A folder named like a preset, or a link to one, stands where a preset would be listed, and
    // the dialog may have opened inside it: a file chosen anywhere within it is saved beside the
    // outermost such folder instead, never into it or through the link to wherever it points.
    for (auto folder = file.getParentDirectory(); folder != folder.getParentDirectory(); folder = folder.getParentDirectory())
        if (folder.getFileName().endsWithIgnoreCase (PresetFileName::extension) && folder.isDirectory())
            file = folder.getSiblingFile (file.getFileName());

    // The dialog's text box may hold pasted text that is not valid UTF-8, which the folder's
    // listing would skip.
    file = file.getSiblingFile (UnicodeText::cleaned (file.getFileName()));

    // The suggested file keeps the whole name, however the file name had to be cut or made safe;
    // a file the user named in the dialog names the preset.
    return savePresetTo (file, file == suggested ? name : PresetFileName::nameOf (file));
}

void PresetManagerComponent::chooseFileToLoad()
{
    presetFolder.getDirectory().createDirectory();
    fileChooser = std::make_unique<juce::FileChooser> ("Load preset", presetFolder.getDirectory(),
                                                       juce::String ("*") + PresetFolder::extension, useNativeDialog);

    fileChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                              [this] (const juce::FileChooser& chooser)
    {
        const auto result = chooser.getResult();

        if (result != juce::File())
            loadPresetFrom (result);
    });
}
