#include <gtest/gtest.h>

#include "../../panels/DelayViewComponent.h"
#include "../support/PixelProbe.h"
#include "../support/ProcessorFixture.h"
#include "../support/SyntheticMouse.h"

namespace
{
    using namespace SyntheticMouse;

    const juce::String defaultLeft = "01100110100110010101010110101010";
    const juce::String defaultRight = "00011001011001101010101001010101";

    // Centre of a cell of a beat block, in the editor's own coordinates.
    juce::Point<float> cell (int block, int column, int row)
    {
        constexpr int blockStarts[8] = { 4, 88, 186, 270, 368, 452, 550, 634 };
        return { (float) blockStarts[block] + 7.0f * (float) column + 3.0f, 4.0f + 7.0f * (float) row + 3.0f };
    }

    std::string text (const std::vector<bool>& steps)
    {
        std::string s;
        for (bool on : steps)
            s += on ? '1' : '0';
        return s;
    }

    // Every property-change message that reaches the listeners of a tree.
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

    // A "delay" group as the processor builds it, with the pattern and time nodes.
    struct Nodes
    {
        juce::ValueTree delay { "delay" };
        juce::ValueTree pattern { "delay_pattern" };
        juce::ValueTree time { "delay_globals_time" };

        Nodes (const juce::var& left = defaultLeft, const juce::var& right = defaultRight, const juce::var& mode = 0)
        {
            pattern.setProperty ("time", 0.5, nullptr).setProperty ("time_mode", 0, nullptr);
            if (! left.isVoid())
                pattern.setProperty ("pattern_l", left, nullptr);
            if (! right.isVoid())
                pattern.setProperty ("pattern_r", right, nullptr);
            if (! mode.isVoid())
                time.setProperty ("pattern_mode", mode, nullptr);
            delay.appendChild (pattern, nullptr);
            delay.appendChild (time, nullptr);
        }
    };
}

TEST (PatternParametersComponent, BindingShowsTheStoredPatternsOnTheGridOfThePatternMode)
{
    struct Case
    {
        const char* name;
        juce::var mode;        // void: no property
        bool bindTime, timeFirst;
        bool triplet;
    };

    const Case cases[] = {
        { "straight", 0, true, false, false },
        { "triplet", 1, true, false, true },
        { "triplet written by the host as a double", 1.0, true, false, true },
        { "time node bound before the pattern node", 1, true, true, true },
        { "unknown mode keeps the construction grid", 3, true, false, true },
        { "negative mode keeps the construction grid", -1, true, false, true },
        { "a mode no int can hold keeps the construction grid", 1.0e12, true, false, true },
        { "mode stored as text", "1", true, false, true },
        { "missing mode reads as 0", juce::var(), true, false, false },
        { "time node never bound", 0, false, false, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Nodes nodes ("1101", defaultRight, c.mode);
        PatternParametersComponent panel;

        if (c.bindTime && c.timeFirst)
            panel.setValueTree (nodes.time);
        panel.setValueTree (nodes.pattern);
        if (c.bindTime && ! c.timeFirst)
            panel.setValueTree (nodes.time);

        EXPECT_EQ (text (panel.leftPattern.steps), "1101");
        EXPECT_EQ (text (panel.rightPattern.steps), defaultRight.toStdString());
        EXPECT_EQ (panel.leftPattern.tripletGrid, c.triplet);
        EXPECT_EQ (panel.rightPattern.tripletGrid, c.triplet);
    }
}

TEST (PatternParametersComponent, EachToggleWritesItsOwnChannelOnceAndOnlyThat)
{
    struct Case
    {
        const char* name;
        bool left;
        juce::String stored;
        std::vector<juce::Point<float>> gesture; // a press, then drags
        std::vector<std::string> written;        // the text after each write
    };

    const Case cases[] = {
        { "left click", true, defaultLeft, { cell (0, 1, 1) },
          { "11100110100110010101010110101010" } },
        { "right drag across three steps and back", false, defaultRight,
          { cell (0, 1, 4), cell (0, 4, 4), cell (0, 8, 4), cell (0, 4, 4), cell (0, 1, 4) },
          { "10011001011001101010101001010101", "11011001011001101010101001010101", "11111001011001101010101001010101" } },
        { "short text keeps its length", true, "0000000000", { cell (2, 0, 0), cell (2, 3, 5) },
          { "0000000010", "0000000011" } },
        { "other characters are rewritten as 0 by the first toggle", true, "2a1 1x", { cell (0, 10, 4) },
          { "001110" } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Nodes nodes (c.stored, c.stored);
        PatternParametersComponent panel;
        panel.setValueTree (nodes.pattern);
        panel.setValueTree (nodes.time);

        std::vector<std::string> written;
        Recorder heard (nodes.delay);
        const juce::Identifier own (c.left ? "pattern_l" : "pattern_r");
        struct OnWrite : juce::ValueTree::Listener
        {
            std::function<void()> f;
            void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override { f(); }
        } onWrite;
        onWrite.f = [&] { written.push_back (nodes.pattern[own].toString().toStdString()); };
        nodes.pattern.addListener (&onWrite);

        auto& editor = c.left ? panel.leftPattern : panel.rightPattern;
        press (editor, c.gesture.front());
        for (size_t i = 1; i < c.gesture.size(); ++i)
            dragTo (editor, c.gesture[i]);
        release (editor, c.gesture.back(), left, 1);
        nodes.pattern.removeListener (&onWrite);

        EXPECT_EQ (written, c.written);
        EXPECT_EQ (heard.heard, std::vector<juce::String> (c.written.size(), "delay_pattern." + own.toString()));
        EXPECT_EQ (nodes.pattern[c.left ? "pattern_r" : "pattern_l"].toString(), c.stored) << "the other channel";
        EXPECT_TRUE (nodes.pattern[own].isString());
        EXPECT_EQ (text (editor.steps), c.written.back()) << "the editor shows what was written";
    }
}

TEST (PatternParametersComponent, WithoutTheNodeOrTheKeyTogglesOnlyMoveTheEditor)
{
    struct Case { const char* name; bool bind; juce::var left; std::string shown; };
    const Case cases[] = {
        { "never bound", false, defaultLeft, "1" + std::string (31, '0') },
        { "bound node without pattern_l: an empty pattern", true, juce::var(), "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Nodes nodes (c.left);
        PatternParametersComponent panel;
        if (c.bind)
            panel.setValueTree (nodes.pattern);
        const auto before = nodes.delay.toXmlString();

        press (panel.leftPattern, cell (0, 1, 1));

        EXPECT_EQ (text (panel.leftPattern.steps), c.shown);
        EXPECT_EQ (nodes.delay.toXmlString(), before);
    }
}

TEST (PatternParametersComponent, TheHostParametersTopStepShowsTheTripletGridTheEnginesPlay)
{
    Nodes nodes;
    PatternParametersComponent panel;
    panel.setValueTree (nodes.pattern);
    panel.setValueTree (nodes.time);
    ASSERT_FALSE (panel.leftPattern.tripletGrid);

    Recorder heard (nodes.delay);
    nodes.time.setProperty ("pattern_mode", 2.0, nullptr);

    EXPECT_TRUE (panel.leftPattern.tripletGrid && panel.rightPattern.tripletGrid);
    EXPECT_EQ (heard.heard.size(), 1u) << "nothing written back";
    EXPECT_TRUE (nodes.time["pattern_mode"].equalsWithSameType (2.0));
}

TEST (PatternParametersComponent, ChangesFromTheTreeAreShownAndNeverWrittenBack)
{
    Nodes nodes;
    PatternParametersComponent panel;
    panel.setValueTree (nodes.pattern);
    panel.setValueTree (nodes.time);
    panel.setValueTree (juce::ValueTree ("delay_globals")); // another type: keeps both bindings
    Recorder heard (nodes.delay);

    nodes.pattern.setProperty ("pattern_l", "1x1", nullptr);
    nodes.pattern.setProperty ("pattern_r", 7, nullptr);
    nodes.time.setProperty ("pattern_mode", 1.0, nullptr);
    nodes.time.setProperty ("pattern_mode", 9, nullptr);
    nodes.pattern.setProperty ("time", 0.25, nullptr);

    EXPECT_EQ (text (panel.leftPattern.steps), "101");
    EXPECT_EQ (text (panel.rightPattern.steps), "0");
    EXPECT_TRUE (panel.leftPattern.tripletGrid && panel.rightPattern.tripletGrid);
    EXPECT_EQ (heard.heard.size(), 5u) << "only the five writes above";
    EXPECT_EQ (nodes.pattern["pattern_l"], juce::var ("1x1"));
    EXPECT_EQ (nodes.pattern["pattern_r"], juce::var (7));
    EXPECT_TRUE (nodes.time["pattern_mode"].isInt());
}

class PatternPageWithProcessor : public ProcessorFixture
{
protected:
    PatternPageWithProcessor()
    {
        page.setSize (1350, 190);
        page.patternPanel.setValueTree (node ("delay_pattern"));
        page.patternPanel.setValueTree (node ("delay_globals_time"));
    }

    std::string enabledTaps (const OndulaDelay& engine) const
    {
        const auto settings = engine.currentSettings();
        std::string s;
        for (bool on : settings.tapEnabled)
            s += on ? '1' : '0';
        return s;
    }

    DelayViewComponent page;
};

TEST_F (PatternPageWithProcessor, ClicksReachTheTapFlagsOfTheirChannelsEngineOnly)
{
    struct Case { const char* name; int patternMode; bool left; juce::Point<float> at; int step; };
    const Case cases[] = {
        { "left, straight, column 3", 0, true, cell (1, 3, 4), 5 },
        { "left, triplet, column 3", 1, true, cell (1, 3, 4), 4 },
        { "right, triplet, column 8", 1, false, cell (7, 8, 4), 31 },
        { "right, straight, upper band", 0, false, cell (3, 7, 0), 14 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        node ("delay_globals_time").setProperty ("pattern_mode", c.patternMode, nullptr);
        auto& clicked = c.left ? processor->leftDelay : processor->rightDelay;
        auto& other = c.left ? processor->rightDelay : processor->leftDelay;
        auto expected = enabledTaps (clicked);
        expected[(size_t) c.step] = expected[(size_t) c.step] == '1' ? '0' : '1';
        const auto otherBefore = enabledTaps (other);
        const int hostChangesBefore = parameterChanges.load();

        auto& editor = c.left ? page.patternPanel.leftPattern : page.patternPanel.rightPattern;
        press (editor, c.at);
        release (editor, c.at, left, 1);

        EXPECT_EQ (enabledTaps (clicked), expected);
        EXPECT_EQ (enabledTaps (other), otherBefore);
        EXPECT_EQ (node ("delay_pattern")[c.left ? "pattern_l" : "pattern_r"].toString().toStdString(), expected);
        EXPECT_EQ (parameterChanges.load(), hostChangesBefore) << "patterns are no host parameters";
    }
}

TEST_F (PatternPageWithProcessor, SnapshotShowsTitleChannelLettersAndBothPatterns)
{
    const auto image = page.createComponentSnapshot (page.getLocalBounds(), true, 1.0f);
    const auto& lf = page.lookAndFeel;

    struct Text { const char* what; juce::Rectangle<int> area; int minimumInk; };
    for (const auto& t : { Text { "title", { 8, 5, 100, 23 }, 60 }, Text { "L", { 20, 52, 20, 20 }, 8 },
                           Text { "R", { 20, 117, 20, 20 }, 12 } })
    {
        EXPECT_GT (PixelProbe::countInk (image, t.area, lf.c0), t.minimumInk) << t.what;
        EXPECT_EQ (PixelProbe::countInk (image, t.area.expanded (4), lf.c0), PixelProbe::countInk (image, t.area, lf.c0))
            << t.what << " stays inside its box";
        EXPECT_GT (PixelProbe::countNear (image, t.area, lf.c3, 40), 2) << t.what << " in the light colour";
    }
    EXPECT_TRUE (PixelProbe::filled (image, { 790, 0, 560, 190 }, lf.c0)) << "right of the editors";
    EXPECT_TRUE (PixelProbe::filled (image, { 40, 90, 750, 15 }, lf.c0)) << "between the editors";
    EXPECT_TRUE (PixelProbe::filled (image, { 0, 160, 1350, 30 }, lf.c0)) << "below the editors";

    // Step marks: the centre of each step's upper-band or lower-band region, on the straight grid.
    const auto mark = [&] (juce::Point<int> editorOrigin, int step)
    {
        const int block = step / 4, s = step % 4;
        const int column = s == 0 ? 1 : s == 1 ? 4 : s == 2 ? 7 : 10;
        const auto at = cell (block, column, s == 1 || s == 3 ? 4 : 1).toInt() + editorOrigin;
        return image.getPixelAt (at.x, at.y) == lf.c3;
    };

    for (int step = 0; step < 32; ++step)
    {
        EXPECT_EQ (mark ({ 40, 40 }, step), defaultLeft[step] == '1') << "left step " << step;
        EXPECT_EQ (mark ({ 40, 105 }, step), defaultRight[step] == '1') << "right step " << step;
    }
}
