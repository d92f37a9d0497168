#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <string_view>

#include "../processor/CommandLineInterpreter.h"
#include "../processor/PresetManager.h"
#include "HostStateNotifier.h"
#include "LookAndFeel_KT.h"
#include "PresetFolder.h"
#include "SimpleRectangleButton.h"

// The preset strip at the top centre: Prev, Next, the editable preset name, Load and Save.
// Presets are files in a per-user folder; every action reports in the console.
class PresetManagerComponent : public juce::Component,
                               private juce::Timer
{
public:
    PresetManagerComponent (PresetManager& presetManagerToUse, CommandLineInterpreter& console);
    ~PresetManagerComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    // The actions behind the buttons; the file-picking buttons end in the first three. A save
    // writes the preset under `name` (by default the file's name without the extension), renames
    // the preset only once the file is written, and names that file in the console.
    bool savePresetTo (const juce::File& file);
    bool savePresetTo (const juce::File& file, const juce::String& name);
    bool loadPresetFrom (const juce::File& file);
    bool stepPreset (int step);

    // The file the save dialog suggests for a name: always a child of the preset folder, and never
    // a folder or a link to one (the next free name "Name (2)", ... is taken then).
    juce::File suggestedFileFor (const juce::String& name) const;
    static constexpr int maximumNumberedNames = 1000;

    // What the save dialog's confirmation does with the file it returns: a file inside a folder
    // named like a preset is saved beside that folder.
    bool saveChosenFile (const juce::File& chosen, const juce::File& suggested, const juce::String& name);

    // Shows the tree's preset name in the label when it differs.
    void refreshName();

    // The label is given at most this many characters of the name: more than its width ever
    // holds, so its own fitting still ends a long name with an ellipsis, while what it lays out
    // stays small whatever the stored name's length. The stored name stays whole.
    static constexpr int maxShownCharacters = 256;
    static std::string_view shownPart (std::string_view utf8Name);

    LookAndFeel_KT lookAndFeel;
    PresetManager& presetManager;
    CommandLineInterpreter& commandLineInterpreter;
    SimpleRectangleButton loadButton { "Load" };
    SimpleRectangleButton saveButton { "Save" };
    SimpleRectangleButton prevButton { "Prev" };
    SimpleRectangleButton nextButton { "Next" };
    juce::Label presetNameLabel;

    PresetFolder presetFolder;
    // The preset last loaded or saved, where Prev and Next start from.
    juce::File currentPresetFile;
    // Merges a loaded preset into the plug-in exactly as a saved state is restored; set by the
    // editor. Without it, Load reports that it cannot apply presets.
    std::function<void (const juce::XmlElement&)> loadState;
    // Brings the tree in line with host values not yet written back, so a preset saves what
    // plays; set by the editor.
    std::function<void()> takeHostValues;

    std::unique_ptr<juce::FileChooser> fileChooser;

    // Set by the editor: a loaded preset and a new name change the saved state, which no host
    // parameter shows in full.
    HostStateNotifier* stateNotifier = nullptr;

private:
    // Writes the name the user gave; returns whether it differed from the stored one.
    bool renamePreset (const juce::String& name);
    void tellHostStateChanged();

    void timerCallback() override;
    void chooseFileToSave();
    void chooseFileToLoad();
    void report (const juce::String& message, bool isError);
};
