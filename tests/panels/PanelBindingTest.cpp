#include <gtest/gtest.h>

#include "../../editor/PluginEditor.h"
#include "../../panels/DelayViewComponent.h"
#include "../../panels/FilterViewComponent.h"
#include "../../panels/GlobalViewComponent.h"
#include "../../panels/OndulaViewComponent.h"
#include "../../panels/PanelBinding.h"
#include "../support/FaderText.h"
#include "../support/MessagePump.h"
#include "../support/PanelProbe.h"

#include <limits>

namespace
{
    // Records every property announcement that reaches listeners of a tree.
    struct Recorder : juce::ValueTree::Listener
    {
        explicit Recorder (juce::ValueTree t) : tree (t) { tree.addListener (this); }

        void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override
        {
            heard.push_back (node.getType().toString() + "." + property.toString());
        }

        juce::ValueTree tree;
        std::vector<juce::String> heard;
    };

    std::vector<juce::String> expand (const juce::String& type, std::initializer_list<const char*> properties)
    {
        std::vector<juce::String> out;
        for (auto* p : properties)
            out.push_back (type + "." + p);
        return out;
    }

    struct Fixture
    {
        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        juce::ValueTree root { "top" };
    };
}

TEST (PanelBinding, EachPanelReannouncesItsPropertiesInOrderToEveryListener)
{
    Fixture f;
    FilterViewComponent automation (f.mappings, f.console);
    OndulaViewComponent ondula (f.mappings, f.console);
    GlobalViewComponent globals (f.mappings, f.console);

    struct Case
    {
        std::function<void (juce::ValueTree)> bind;
        const char* type;
        std::vector<juce::String> expected;
    };

    const Case cases[] = {
        { [&] (auto n) { automation.frequencyPanel.setValueTree (n); }, "automation_frequency",
          expand ("automation_frequency", { "value", "scale_y", "curve" }) },
        { [&] (auto n) { ondula.delayPanel.setValueTree (n); }, "ondula_delay",
          expand ("ondula_delay", { "scale", "phase", "curve" }) },
        { [&] (auto n) { globals.timePanel.setValueTree (n); }, "delay_globals_time",
          expand ("delay_globals_time", { "time", "time_mode", "pattern_mode", "feedback_amplitude", "feedback_frequency", "feedback_width" }) },
        { [&] (auto n) { globals.ondulaPanel.setValueTree (n); }, "delay_globals_ondula",
          expand ("delay_globals_ondula", { "wavelength", "phase", "velocity", "amount", "time_mode" }) },
        { [&] (auto n) { globals.dynamicsPanel.setValueTree (n); }, "delay_globals_dynamics", {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.type);
        juce::ValueTree group ("group");
        juce::ValueTree node (c.type);
        group.appendChild (node, nullptr);
        Recorder onNode (node), onParent (group);

        c.bind (node);

        EXPECT_EQ (onNode.heard, c.expected);
        EXPECT_EQ (onParent.heard, c.expected) << "ancestors hear it too";

        // Binding again is harmless: the panel still listens once.
        onNode.heard.clear();
        c.bind (node);
        EXPECT_EQ (onNode.heard, c.expected);
    }
}

TEST (PanelBinding, InvalidNodesAreIgnored)
{
    Fixture f;
    FilterViewComponent automation (f.mappings, f.console);
    DelayViewComponent pattern;

    automation.panPanel.setValueTree ({});
    pattern.patternPanel.setValueTree ({});
    pattern.patternPanel.setValueTree (juce::ValueTree ("something_else"));

    EXPECT_FALSE (automation.panPanel.valueTree.isValid());
    EXPECT_FALSE (pattern.patternPanel.patternTree.isValid());
    EXPECT_FALSE (pattern.patternPanel.timeTree.isValid());
}

TEST (PanelBinding, PatternPanelTellsItsTwoNodesApartByType)
{
    DelayViewComponent page;
    juce::ValueTree delay ("delay");
    juce::ValueTree pattern ("delay_pattern"), time ("delay_globals_time");
    delay.appendChild (pattern, nullptr);
    delay.appendChild (time, nullptr);
    Recorder heard (delay);

    page.patternPanel.setValueTree (pattern);
    page.patternPanel.setValueTree (time);

    const std::vector<juce::String> expected { "delay_pattern.pattern_l", "delay_pattern.pattern_r",
                                               "delay_pattern.time_mode", "delay_globals_time.pattern_mode" };
    EXPECT_EQ (heard.heard, expected);
    EXPECT_EQ (page.patternPanel.patternTree, pattern);
    EXPECT_EQ (page.patternPanel.timeTree, time);
}

TEST (PanelBinding, PanelFollowsItsNodeAfterBindingAndStopsWhenDestroyed)
{
    struct CountingPanel : FilterParametersComponent
    {
        using FilterParametersComponent::FilterParametersComponent;
        void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override { ++calls; }
        int calls = 0;
    };

    Fixture f;
    juce::ValueTree node ("automation_pan");
    {
        CountingPanel panel (f.mappings, f.console);
        panel.setValueTree (node);
        EXPECT_EQ (panel.calls, 3);
        node.setProperty ("value", 0.25, nullptr);
        EXPECT_EQ (panel.calls, 4);
    }
    node.setProperty ("value", 0.75, nullptr); // no dangling listener
    SUCCEED();
}

namespace
{
    // Counts the notifications a node sends, that is the writes that changed it.
    struct WriteCounter : juce::ValueTree::Listener
    {
        explicit WriteCounter (juce::ValueTree t) : tree (t) { tree.addListener (this); }
        void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override { ++writes; }
        juce::ValueTree tree;
        int writes = 0;
    };
}

TEST (PanelBinding, UserEditsWriteOnlyWhatReadsDifferentlyFromTheStoredValue)
{
    struct Case
    {
        const char* what;
        juce::var stored; // void: the property is missing
        std::function<bool (juce::ValueTree&)> write;
        bool writes;
        juce::var expected;
    };

    const juce::Identifier p ("p");
    const auto value = [&] (double v) { return [&p, v] (juce::ValueTree& n) { return PanelBinding::writeValue (n, p, v); }; };
    const auto mode = [&] (int m) { return [&p, m] (juce::ValueTree& n) { return PanelBinding::writeMode (n, p, m); }; };
    const auto text = [&] (const char* t) { return [&p, t] (juce::ValueTree& n) { return PanelBinding::writeText (n, p, t); }; };

    const Case cases[] = {
        { "value over nothing", {}, value (0.5), true, 0.5 },
        { "same double", 0.5, value (0.5), false, 0.5 },
        { "same number stored as text", "0.5", value (0.5), false, "0.5" },
        { "same number stored as int", 1, value (1.0), false, 1 },
        { "snapped over off-grid", 0.123456, value (0.1235), true, 0.1235 },
        { "float-rounded copy is a different value", 0.1235, value ((double) 0.1235f), true, (double) 0.1235f },
        { "mode over nothing", {}, mode (0), true, 0 },
        { "same mode as int", 1, mode (1), false, 1 },
        { "same mode as double", 1.0, mode (1), false, 1.0 },
        { "same mode as text", "1.0", mode (1), false, "1.0" },
        { "same mode as a fraction", 1.7, mode (1), false, 1.7 },
        { "other mode", 2.0, mode (1), true, 1 },
        { "same text", "0 0 0\n", text ("0 0 0\n"), false, "0 0 0\n" },
        { "other text", "0 0 0\n", text ("1 1 0\n"), true, "1 1 0\n" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        juce::ValueTree node ("node");
        if (! c.stored.isVoid())
            node.setProperty (p, c.stored, nullptr);
        WriteCounter counter (node);

        EXPECT_EQ (c.write (node), c.writes);
        EXPECT_EQ (counter.writes, c.writes ? 1 : 0);
        EXPECT_TRUE (node.getProperty (p).equalsWithSameType (c.expected)) << node.getProperty (p).toString();

        juce::ValueTree unbound;
        EXPECT_FALSE (c.write (unbound)) << "an unbound panel writes nothing";
    }
}

TEST (PanelBinding, ModesReadAsWholeNumbersAndNonsenseAsNoMode)
{
    const std::pair<juce::var, int> cases[] = {
        { 1, 1 }, { 1.0, 1 }, { "2", 2 }, { 1.7, 1 }, { "1.7", 1 }, { 7, 7 }, { -1, -1 }, { {}, 0 },
        { std::numeric_limits<double>::quiet_NaN(), -1 }, { 1.0e300, -1 }, { -1.0e300, -1 }, { "abc", 0 },
    };

    for (const auto& [stored, expected] : cases)
    {
        juce::ValueTree node ("node");
        if (! stored.isVoid())
            node.setProperty ("m", stored, nullptr);
        EXPECT_EQ (PanelBinding::readMode (node, "m"), expected) << stored.toString();
    }

    juce::ValueTree node ("node");
    node.setProperty ("v", std::numeric_limits<double>::infinity(), nullptr);
    EXPECT_EQ (PanelBinding::readValue (node, "v"), 0.0) << "a non-finite value reads as 0";
    EXPECT_EQ (PanelBinding::readValue (node, "missing"), 0.0);
}

TEST (PanelBinding, ShowingATreeValueRunsNoControlCallback)
{
    juce::Component parent;
    juce::Slider fader;
    fader.setRange (0.0, 1.0, 0.0001);
    int faderCallbacks = 0;
    fader.onValueChange = [&] { ++faderCallbacks; };

    juce::TextButton a ("a"), b ("b"), c ("c");
    int clicks = 0;
    for (auto* button : { &a, &b, &c })
    {
        parent.addAndMakeVisible (button);
        button->setRadioGroupId (1001);
        button->setClickingTogglesState (true);
        button->onClick = [&] { ++clicks; };
    }

    PanelBinding::showValue (fader, 0.123456);
    EXPECT_DOUBLE_EQ (fader.getValue(), 0.1235) << "the fader snaps what it shows";
    EXPECT_TRUE (PanelBinding::showMode ({ &a, &b, &c }, 2));
    EXPECT_TRUE (PanelBinding::showMode ({ &a, &b, &c }, 1));
    EXPECT_FALSE (PanelBinding::showMode ({ &a, &b, &c }, 3));
    EXPECT_FALSE (PanelBinding::showMode ({ &a, &b, &c }, -1));
    MessagePump::run (50);

    EXPECT_EQ (faderCallbacks, 0);
    EXPECT_EQ (clicks, 0);
    EXPECT_FALSE (a.getToggleState());
    EXPECT_TRUE (b.getToggleState()) << "a mode no button has leaves the row as it was";
    EXPECT_FALSE (c.getToggleState());
}

namespace
{
    // An editor on a processor of its own, every panel bound as a host opens it.
    struct OpenEditor
    {
        OpenEditor()
        {
            editor = dynamic_cast<OndulaDelayAudioProcessorEditor*> (processor->createEditorIfNeeded());
            MessagePump::run (20);
        }

        ~OpenEditor()
        {
            processor->editorBeingDeleted (editor);
            delete editor;
        }

        juce::ValueTree node (const juce::String& type) const { return PanelProbe::node (processor->stateTree, type); }

        std::unique_ptr<OndulaDelayAudioProcessor> processor = std::make_unique<OndulaDelayAudioProcessor>();
        OndulaDelayAudioProcessorEditor* editor = nullptr;
    };

    struct Fader
    {
        const char* name;
        std::function<juce::Slider& (OndulaDelayAudioProcessorEditor&)> fader;
        const char* node;
        const char* property;
    };

    std::vector<Fader> everyFader()
    {
        std::vector<Fader> faders;
        using E = OndulaDelayAudioProcessorEditor;
        const char* automationNodes[] = { "automation_frequency", "automation_bandwidth", "automation_amplitude", "automation_pan" };
        const char* ondulaNodes[] = { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" };

        for (int i = 0; i < 4; ++i)
        {
            const auto panel = [i] (E& e) -> FilterParametersComponent&
            { return *std::array<FilterParametersComponent*, 4> { &e.filterView.frequencyPanel, &e.filterView.bandwidthPanel, &e.filterView.amplitudePanel, &e.filterView.panPanel }[(size_t) i]; };
            faders.push_back ({ "Center", [panel] (E& e) -> juce::Slider& { return panel (e).centerSlider; }, automationNodes[i], "value" });
            faders.push_back ({ "Amount", [panel] (E& e) -> juce::Slider& { return panel (e).amountSlider; }, automationNodes[i], "scale_y" });
        }

        for (int i = 0; i < 5; ++i)
        {
            const auto panel = [i] (E& e) -> OndulaParametersComponent&
            { return *std::array<OndulaParametersComponent*, 5> { &e.ondulaView.frequencyPanel, &e.ondulaView.bandwidthPanel, &e.ondulaView.amplitudePanel, &e.ondulaView.panPanel, &e.ondulaView.delayPanel }[(size_t) i]; };
            faders.push_back ({ "Amount", [panel] (E& e) -> juce::Slider& { return panel (e).amountSlider; }, ondulaNodes[i], "scale" });
            faders.push_back ({ "Phase", [panel] (E& e) -> juce::Slider& { return panel (e).phaseSlider; }, ondulaNodes[i], "phase" });
        }

        faders.push_back ({ "Time", [] (E& e) -> juce::Slider& { return e.globalView.timePanel.timeSlider; }, "delay_globals_time", "time" });
        faders.push_back ({ "Amplitude", [] (E& e) -> juce::Slider& { return e.globalView.timePanel.amplitudeSlider; }, "delay_globals_time", "feedback_amplitude" });
        faders.push_back ({ "Frequency", [] (E& e) -> juce::Slider& { return e.globalView.timePanel.frequencySlider; }, "delay_globals_time", "feedback_frequency" });
        faders.push_back ({ "Width", [] (E& e) -> juce::Slider& { return e.globalView.timePanel.widthSlider; }, "delay_globals_time", "feedback_width" });
        faders.push_back ({ "Dry/Wet", [] (E& e) -> juce::Slider& { return e.globalView.dynamicsPanel.wetSlider; }, "delay_globals_dynamics", "wet" });
        faders.push_back ({ "Threshold", [] (E& e) -> juce::Slider& { return e.globalView.dynamicsPanel.thresholdSlider; }, "delay_globals_dynamics", "compressor_threshold" });
        faders.push_back ({ "Slope", [] (E& e) -> juce::Slider& { return e.globalView.dynamicsPanel.slopeSlider; }, "delay_globals_dynamics", "compressor_slope" });
        faders.push_back ({ "Wavelength", [] (E& e) -> juce::Slider& { return e.globalView.ondulaPanel.wavelengthSlider; }, "delay_globals_ondula", "wavelength" });
        faders.push_back ({ "Ondula Phase", [] (E& e) -> juce::Slider& { return e.globalView.ondulaPanel.phaseSlider; }, "delay_globals_ondula", "phase" });
        faders.push_back ({ "Rate", [] (E& e) -> juce::Slider& { return e.globalView.ondulaPanel.rateSlider; }, "delay_globals_ondula", "velocity" });
        faders.push_back ({ "Ondula Amount", [] (E& e) -> juce::Slider& { return e.globalView.ondulaPanel.amountSlider; }, "delay_globals_ondula", "amount" });
        return faders;
    }
}

TEST (PanelBinding, EveryFadersBoxReadsTheTextsItShowsInEveryModeAndWritesWhatItReads)
{
    for (int mode = 0; mode < 3; ++mode)
    {
        OpenEditor s;
        s.node ("delay_globals_time").setProperty ("time_mode", mode, nullptr);
        s.node ("delay_globals_ondula").setProperty ("time_mode", mode, nullptr);

        for (const auto& f : everyFader())
        {
            auto& fader = f.fader (*s.editor);
            SCOPED_TRACE (juce::String (f.node) + " " + f.name + ", mode " + juce::String (mode));

            // The text of another value typed into the box moves the fader to a value showing it.
            for (const double target : { fader.getMinimum() + 0.3 * (fader.getMaximum() - fader.getMinimum()), 0.9, 0.02 })
            {
                const auto text = fader.getTextFromValue (target);
                FaderText::type (fader, text);

                EXPECT_EQ (FaderText::shown (fader), text);
                EXPECT_EQ (fader.getTextFromValue (fader.getValue()), text);
                // A host parameter's write-back leaves its float in the tree.
                EXPECT_EQ ((float) (double) s.node (f.node)[f.property], (float) fader.getValue()) << text;
            }

            // Text that reads as no value leaves the fader and the tree where they were.
            const auto before = s.node (f.node)[f.property];
            const auto shown = FaderText::shown (fader);
            FaderText::type (fader, "loud");
            EXPECT_EQ (FaderText::shown (fader), shown);
            EXPECT_TRUE (s.node (f.node)[f.property].equalsWithSameType (before));
        }
    }
}

