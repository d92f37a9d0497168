#include <gtest/gtest.h>

#include "../../editor/PluginEditor.h"
#include "../support/MessagePump.h"
#include "../support/SyntheticMouse.h"
#include "../support/TreeComparison.h"

#include <limits>

namespace
{
    // Everything a host hears from the plug-in.
    struct HostEars : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++changes; }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override { stateChanges += details.nonParameterStateChanged ? 1 : 0; }
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
        void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int) override { ++gestures; }
        std::atomic<int> changes { 0 }, gestures { 0 }, stateChanges { 0 };
    };

    juce::ValueTree find (const juce::ValueTree& tree, const juce::String& type)
    {
        if (tree.getType().toString() == type)
            return tree;

        for (const auto& child : tree)
            if (auto found = find (child, type); found.isValid())
                return found;

        return {};
    }

    std::vector<juce::TabbedComponent*> tabContainers (juce::Component& root)
    {
        std::vector<juce::TabbedComponent*> found;

        for (auto* child : root.getChildren())
        {
            if (auto* tabs = dynamic_cast<juce::TabbedComponent*> (child))
                found.push_back (tabs);

            for (auto* inner : tabContainers (*child))
                found.push_back (inner);
        }

        return found;
    }

    // Opens the editor as a host does, lets it settle, clicks every tab of every page, and closes it.
    void openClickThroughEveryTabAndClose (OndulaDelayAudioProcessor& processor)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        MessagePump::run (200);

        const auto containers = tabContainers (*editor);
        EXPECT_GE (containers.size(), 1u);

        for (auto* tabs : containers)
        {
            for (int i = tabs->getNumTabs(); --i >= 0;)
            {
                ASSERT_TRUE (SyntheticMouse::clickButton (*tabs->getTabbedButtonBar().getTabButton (i)));
                EXPECT_EQ (tabs->getCurrentTabIndex(), i);
            }
        }

        MessagePump::run (200);
        processor.editorBeingDeleted (editor.get());
        editor.reset();
        MessagePump::run (50);
    }

    // A state as a host would hand it back: the plug-in's XML with every value as text.
    void loadAsHost (OndulaDelayAudioProcessor& processor, const std::map<juce::String, juce::String>& values)
    {
        auto xml = processor.stateTree.createXml();

        for (const auto& [path, value] : values)
            for (auto* group : xml->getChildIterator())
                if (auto* element = group->getChildByName (path.upToFirstOccurrenceOf (".", false, false)))
                    element->setAttribute (path.fromFirstOccurrenceOf (".", false, false), value);

        juce::MemoryBlock block;
        juce::AudioProcessor::copyXmlToBinary (*xml, block);
        processor.setStateInformation (block.getData(), (int) block.getSize());
    }

    // Values stored as they are, with their types, and no host told: as an older session or
    // another writer may have left them.
    void storeDirectly (OndulaDelayAudioProcessor& processor, const std::map<juce::String, juce::var>& values)
    {
        processor.setPushToParameterEnabled (false);

        for (const auto& [path, value] : values)
            find (processor.stateTree, path.upToFirstOccurrenceOf (".", false, false))
                .setProperty (path.fromFirstOccurrenceOf (".", false, false), value, nullptr);

        processor.setPushToParameterEnabled (true);
    }

    // The three mode parameters moved by a host, at a normalised value.
    void setModesAsHost (OndulaDelayAudioProcessor& processor, float normalised)
    {
        for (const auto* id : { "delay_globals_time_time_mode", "delay_globals_ondula_time_mode", "delay_globals_time_pattern_mode" })
            processor.parameters.getParameter (id)->setValueNotifyingHost (normalised);
    }

    // A curve text longer than the curve editor's limit of 128 points.
    juce::String manyPoints (int count)
    {
        juce::String text;
        for (int i = 0; i < count; ++i)
            text << juce::String ((double) i / count, 6) << " " << juce::String ((double) (i % 7) / 7.0, 6) << " 0\n";
        return text;
    }

    const std::map<juce::String, juce::String> loadedOddities {
        { "delay_globals_time.time_mode", "0" },        { "delay_globals_ondula.time_mode", "2" },
        { "delay_globals_time.pattern_mode", "1" },     { "delay_globals_time.time", "0.123456" },
        { "delay_globals_time.feedback_amplitude", "1.5" }, { "delay_globals_time.feedback_frequency", "0.123456" },
        { "delay_globals_time.feedback_width", "-0.25" }, { "delay_globals_ondula.velocity", "0.123456" },
        { "delay_globals_ondula.wavelength", "1.0" },    { "delay_globals_dynamics.wet", "0.123456" },
        { "delay_globals_dynamics.compressor_threshold", "0.123456" }, { "delay_globals_dynamics.compressor_slope", "1.5" },
        { "automation_frequency.value", "0.123456" },    { "automation_bandwidth.scale_y", "-1.5" },
        { "automation_amplitude.value", "1.5" },         { "automation_pan.curve", "1 1 0\n0 0.5 0.3\n0.5 0.25" },
        { "automation_frequency.curve", "0 1 -0.1234567\n0.5 2 1.5\n1 -0.5 0\n" },
        { "ondula_frequency.scale", "0.123456" },        { "ondula_bandwidth.phase", "1.5" },
        { "ondula_pan.scale", "-0.25" },                 { "ondula_delay.curve", manyPoints (200) },
        { "delay_pattern.pattern_l", juce::String::fromUTF8 ("2 1\xc3\xa9x1") }, { "delay_pattern.pattern_r", "101" },
        { "delay_pattern.time_mode", "2" },
    };

    const std::map<juce::String, juce::var> storedOddities {
        { "delay_globals_time.time_mode", 0 },              { "delay_globals_ondula.time_mode", 2.0 },
        { "delay_globals_time.pattern_mode", "1" },         { "delay_globals_time.time", 0.123456 },
        { "delay_globals_time.feedback_amplitude", 1.5 },   { "delay_globals_time.feedback_frequency", -0.5 },
        { "delay_globals_time.feedback_width", "0.33333" }, { "delay_globals_ondula.velocity", (double) 0.123456f },
        { "delay_globals_ondula.phase", 2 },                { "delay_globals_ondula.amount", std::numeric_limits<double>::quiet_NaN() },
        { "delay_globals_dynamics.wet", 1.5 },              { "delay_globals_dynamics.compressor_threshold", -1.0 },
        { "delay_globals_dynamics.compressor_slope", 0.55555 },
        { "automation_frequency.value", 1 },                { "automation_amplitude.scale_y", "0.5" },
        { "automation_bandwidth.value", (double) 0.123456f }, { "automation_pan.scale_y", -2.0 },
        { "automation_bandwidth.curve", "no points" },      { "ondula_amplitude.phase", (double) 0.123456f },
        { "ondula_pan.scale", 2 },                          { "ondula_frequency.curve", manyPoints (130) },
        { "delay_pattern.pattern_l", "0120" + juce::String::repeatedString ("1", 36) }, { "delay_pattern.pattern_r", 101 },
        { "delay_pattern.time", 0.123456 },
    };
}

TEST (PluginEditorOpening, ChangesNoSettingAndTellsTheHostNothingWhateverTheStateHolds)
{
    struct Case { const char* what; std::function<void (OndulaDelayAudioProcessor&)> prepare; };
    const Case cases[] = {
        { "defaults", [] (auto&) {} },
        { "a state loaded by the host", [] (auto& p) { loadAsHost (p, loadedOddities); } },
        { "values stored as ints, doubles and text", [] (auto& p) { storeDirectly (p, storedOddities); } },
        // Every step a host can set each mode to, the pattern grid's top step (2) included.
        { "modes at their host parameters' bottom steps", [] (auto& p) { setModesAsHost (p, 0.0f); } },
        { "modes at their host parameters' middle steps", [] (auto& p) { setModesAsHost (p, 0.5f); } },
        { "modes at their host parameters' top steps", [] (auto& p) { setModesAsHost (p, 1.0f); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto processor = std::make_unique<OndulaDelayAudioProcessor>();
        c.prepare (*processor);
        MessagePump::run (20);

        const auto before = processor->stateTree.createCopy();
        std::vector<float> parameters;
        for (auto* parameter : processor->getParameters())
            parameters.push_back (parameter->getValue());

        HostEars host;
        processor->addListener (&host);

        for (int round = 0; round < 2; ++round)
            openClickThroughEveryTabAndClose (*processor);

        processor->removeListener (&host);

        for (const auto& difference : TreeComparison::differences (before, processor->stateTree))
            ADD_FAILURE() << difference;

        EXPECT_EQ (host.changes.load(), 0);
        EXPECT_EQ (host.gestures.load(), 0);
        EXPECT_EQ (host.stateChanges.load(), 0);
        for (size_t i = 0; i < parameters.size(); ++i)
            EXPECT_EQ (processor->getParameters()[(int) i]->getValue(), parameters[i]) << "parameter " << i;
    }
}

TEST (PluginEditorOpening, RepairsOnlyAModeThatNoButtonCanShow)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    storeDirectly (*processor, { { "delay_globals_time.time_mode", 7 }, { "delay_globals_ondula.time_mode", -1 },
                                 { "delay_globals_time.pattern_mode", 3 }, { "delay_globals_time.time", 0.123456 } });
    const auto before = processor->stateTree.createCopy();
    HostEars host;
    processor->addListener (&host);

    openClickThroughEveryTabAndClose (*processor);
    processor->removeListener (&host);

    // The host hears each repair that moves its parameter once, so its parameters show what plays
    // (-1 already stood at the bound 0, so only the other two move); that repair reaches it as a
    // changed state.
    EXPECT_EQ (host.gestures.load(), 2 * 2);
    EXPECT_EQ (host.stateChanges.load(), 1);
    for (const auto* id : { "delay_globals_time_time_mode", "delay_globals_ondula_time_mode", "delay_globals_time_pattern_mode" })
        EXPECT_EQ (processor->parameters.getParameter (id)->getValue(), 0.0f) << id;

    const std::vector<std::string> expected {
        "/top/delay/delay_globals_ondula.time_mode: int -1 -> int 0",
        "/top/delay/delay_globals_time.time_mode: int 7 -> int 0",
        "/top/delay/delay_globals_time.pattern_mode: int 3 -> int 0",
    };
    auto found = TreeComparison::differences (before, processor->stateTree);
    std::sort (found.begin(), found.end());
    auto sortedExpected = expected;
    std::sort (sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ (found, sortedExpected);
}

TEST (PluginEditorOpening, SoundsExactlyAsWithoutAnEditor)
{
    // Two instances in the same state play the same input; one opens its editor meanwhile.
    std::unique_ptr<OndulaDelayAudioProcessor> processors[] = { std::make_unique<OndulaDelayAudioProcessor>(),
                                                                std::make_unique<OndulaDelayAudioProcessor>() };
    juce::AudioBuffer<float> outputs[2];

    for (auto& p : processors)
    {
        loadAsHost (*p, loadedOddities);
        p->prepareToPlay (48000.0, 256);
    }

    for (int i = 0; i < 2; ++i)
        outputs[i].setSize (2, 256 * 40);

    juce::MidiBuffer midi;

    for (int block = 0; block < 40; ++block)
    {
        if (block == 10)
            openClickThroughEveryTabAndClose (*processors[0]);

        for (int i = 0; i < 2; ++i)
        {
            juce::AudioBuffer<float> buffer (2, 256);
            buffer.clear();
            if (block % 8 == 0)
                for (int ch = 0; ch < 2; ++ch)
                    buffer.setSample (ch, 0, 1.0f);

            processors[i]->processBlock (buffer, midi);
            for (int ch = 0; ch < 2; ++ch)
                outputs[i].copyFrom (ch, block * 256, buffer, ch, 0, 256);
        }
    }

    EXPECT_GT (outputs[0].getRMSLevel (0, 0, outputs[0].getNumSamples()), 0.0f);
    for (int ch = 0; ch < 2; ++ch)
        for (int s = 0; s < outputs[0].getNumSamples(); ++s)
            ASSERT_EQ (outputs[0].getSample (ch, s), outputs[1].getSample (ch, s)) << "channel " << ch << ", sample " << s;
}
