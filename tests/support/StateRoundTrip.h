#pragma once

#include "editor/PresetFileName.h"
#include "editor/PresetFolder.h"
#include "processor/PluginProcessor.h"
#include "processor/SavedStateWriter.h"
#include "processor/SettingRange.h"
#include "processor/StateBlockReader.h"
#include "processor/UnicodeText.h"

#include <cmath>
#include <cstring>
#include <string>

/** What the plug-in writes of a state it holds must pass the gate again and read back the same:
    the saved state, in a second instance; the preset file, merged as the preset strip merges it;
    and the preset name's file name, which the folder lists only when it is clean UTF-8. Shared by
    the tests and the fuzz targets. */
namespace StateRoundTrip
{
    inline juce::MemoryBlock savedState (OndulaDelayAudioProcessor& processor)
    {
        juce::MemoryBlock block;
        processor.getStateInformation (block);
        return block;
    }

    /** The first value in which the two trees differ, as the saved state writes them (a setting as
        the number it reads as: its host parameter may have stored it back in single precision);
        empty when there is none. */
    inline std::string firstDifference (const juce::ValueTree& a, const juce::ValueTree& b)
    {
        const auto where = a.getType().toString().toStdString();

        if (a.getType() != b.getType() || a.getNumProperties() != b.getNumProperties() || a.getNumChildren() != b.getNumChildren())
            return where + " has other properties or children";

        for (int i = 0; i < a.getNumProperties(); ++i)
        {
            const auto name = a.getPropertyName (i);

            // The plug-in keeps texts and numbers only: a binary value would be written as "base64:".
            if (a[name].isBinaryData() || b[name].isBinaryData())
                return where + "." + name.toString().toStdString() + " holds a binary value";

            const bool same = SettingRange::of (a.getType(), name) ? std::abs ((double) a[name] - (double) b[name]) <= 1.0e-6
                                                                   : a[name].toString() == b[name].toString();

            if (! same)
                return where + "." + name.toString().toStdString() + ": " + a[name].toString().toStdString() + " / " + b[name].toString().toStdString();
        }

        for (int i = 0; i < a.getNumChildren(); ++i)
            if (auto found = firstDifference (a.getChild (i), b.getChild (i)); ! found.empty())
                return found;

        return {};
    }

    /** Writes what `holder` holds and reads it back into `other`, which ends up holding the same;
        returns what went wrong, or an empty string. `defaults` is a state that sets every setting to
        its default, loaded into `other` before the preset, so that the preset must set each one. */
    inline std::string check (OndulaDelayAudioProcessor& holder, OndulaDelayAudioProcessor& other, const juce::MemoryBlock& defaults)
    {
        const auto saved = savedState (holder);
        auto refusal = UntrustedXml::Refusal::none;

        if (StateBlockReader::readXml (saved.getData(), (int) saved.getSize(), &refusal) == nullptr)
            return "the saved state is refused: " + UntrustedXml::describe (refusal, StateBlockReader::limits()).toStdString();

        other.setStateInformation (saved.getData(), (int) saved.getSize());

        if (const auto difference = firstDifference (holder.stateTree, other.stateTree); ! difference.empty())
            return "the saved state reads back other values, " + difference;

        auto document = holder.stateTree.createXml();
        const auto presetText = SavedStateWriter::presetText (*document);

        if (presetText.size() > (size_t) PresetFolder::maxFileBytes)
            return "the preset file is larger than a preset may be";

        juce::String error;
        const auto preset = PresetFolder::readText (presetText, error);

        if (preset == nullptr)
            return "the preset file is refused: " + error.toStdString();

        other.setStateInformation (defaults.getData(), (int) defaults.getSize());
        other.mergeLoadedState (preset.get());

        if (const auto difference = firstDifference (holder.stateTree, other.stateTree); ! difference.empty())
            return "the preset reads back other values, " + difference;

        const auto fileName = PresetFileName::forName (holder.stateTree["preset_name"].toString());
        const auto* bytes = fileName.toRawUTF8();

        if (! UnicodeText::isClean ({ bytes, std::strlen (bytes) }) || fileName.getNumBytesAsUTF8() > (size_t) PresetFileName::maximumBytes)
            return "the file name is not one a folder lists: " + fileName.toStdString();

        return {};
    }
} // namespace StateRoundTrip
