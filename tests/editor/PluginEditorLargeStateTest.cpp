#include <gtest/gtest.h>

#include "../../editor/PluginEditor.h"
#include "../../processor/StateBlockReader.h"
#include "../support/MessagePump.h"

#include <functional>
#include <iostream>
#include <string>
#include <unistd.h>

namespace
{
    double residentMegabytes()
    {
        long pages = 0, resident = 0;

        if (auto* statm = std::fopen ("/proc/self/statm", "r"))
        {
            if (std::fscanf (statm, "%ld %ld", &pages, &resident) != 2)
                resident = 0;

            std::fclose (statm);
        }

        return (double) resident * (double) ::sysconf (_SC_PAGESIZE) / (1024.0 * 1024.0);
    }

    double secondsOf (const std::function<void()>& call)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        call();
        return (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
    }

    // A curve of `count` points as the editor writes them, one per line.
    juce::String curveOf (int count)
    {
        // Built as a standard string: the framework's strings grow by exactly what is appended.
        std::string text;

        for (int i = 0; i < count; ++i)
            text += juce::String ((double) i / count, 5).toStdString() + " 0.5 0\n";

        return juce::String (text);
    }

    const char* const curveNodes[] = { "automation_frequency", "automation_bandwidth", "automation_amplitude", "automation_pan",
                                       "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" };

    juce::ValueTree find (const juce::ValueTree& tree, const juce::String& type)
    {
        for (const auto& group : tree)
            if (auto node = group.getChildWithName (type); node.isValid())
                return node;

        return {};
    }
}

// What a state holds must not make the editor slow or large: a name or a curve as large as the
// saved-state cap allows opens as the default state does (the figures are printed, not asserted).
TEST (PluginEditorLargeState, OpensOnTheLargestStatesTheCapAllowsAsOnTheDefault)
{
    // Room left for the rest of the state; each curve point takes 14 bytes as saved (&#10; ends it).
    const int room = (int) StateBlockReader::maximumTextBytes - 4096;

    struct Case { const char* what; std::function<void (juce::ValueTree&)> fill; };
    const Case cases[] = {
        { "the default state", [] (juce::ValueTree&) {} },
        { "a name of a megabyte", [room] (juce::ValueTree& top) { top.setProperty ("preset_name", juce::String::repeatedString ("&", room / 5), nullptr); } },
        { "one curve of a megabyte", [room] (juce::ValueTree& top) { find (top, "ondula_frequency").setProperty ("curve", curveOf (room / 20), nullptr); } },
        { "nine curves sharing a megabyte", [room] (juce::ValueTree& top)
          {
              for (const auto* type : curveNodes)
                  find (top, type).setProperty ("curve", curveOf (room / 20 / 9), nullptr);
          } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        juce::MemoryBlock block;

        {
            const auto source = std::make_unique<OndulaDelayAudioProcessor>(); // too large for the stack
            c.fill (source->stateTree);
            source->getStateInformation (block);
        }

        ASSERT_LE (block.getSize() - 9, StateBlockReader::maximumTextBytes);

        auto processor = std::make_unique<OndulaDelayAudioProcessor>();
        const auto loading = secondsOf ([&] { processor->setStateInformation (block.getData(), (int) block.getSize()); });
        MessagePump::run (20);

        const auto residentBefore = residentMegabytes();
        std::unique_ptr<OndulaDelayAudioProcessorEditor> editor;

        const auto opening = secondsOf ([&]
        {
            editor.reset (dynamic_cast<OndulaDelayAudioProcessorEditor*> (processor->createEditorIfNeeded()));
            ASSERT_NE (editor, nullptr);
            editor->presetStrip.refreshName();
            juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
            juce::Graphics g (image);
            editor->paintEntireComponent (g, false);
        });

        ASSERT_NE (editor, nullptr);
        const auto residentOpen = residentMegabytes();
        std::cout << "[ measured ] " << c.what << " (" << block.getSize() << " bytes): loaded in " << loading
                  << " s, editor opened and painted in " << opening << " s, resident memory "
                  << (residentOpen >= residentBefore ? "+" : "") << residentOpen - residentBefore << " MB" << std::endl;

        EXPECT_LE (editor->presetStrip.presetNameLabel.getText().length(), PresetManagerComponent::maxShownCharacters);
        EXPECT_LE (editor->ondulaView.frequencyPanel.editedCurve.points.size(), (size_t) QuorlStyleCurve::storedPointLimit);

        processor->editorBeingDeleted (editor.get());
        editor.reset();
    }
}
