#include <gtest/gtest.h>

#include "../../panels/DelayViewComponent.h"
#include "../../panels/FilterViewComponent.h"
#include "../../panels/GlobalViewComponent.h"
#include "../../panels/OndulaViewComponent.h"

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
    EXPECT_FALSE (pattern.patternPanel.valueTree.isValid());
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
    EXPECT_EQ (page.patternPanel.valueTree, pattern);
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
