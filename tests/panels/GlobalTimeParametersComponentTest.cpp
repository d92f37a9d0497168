#include <gtest/gtest.h>

#include "../../panels/GlobalTimeParametersComponent.h"
#include "../support/FaderText.h"
#include "../support/MessagePump.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

#include <limits>

namespace
{
    // A bound time panel on a node holding the defaults, with a count of the writes that
    // changed the node.
    struct TimePanel : juce::ValueTree::Listener
    {
        TimePanel()
        {
            node.setProperty ("time_mode", 1, nullptr);
            node.setProperty ("pattern_mode", 0, nullptr);
            node.setProperty ("time", 0.5, nullptr);
            node.setProperty ("feedback_amplitude", 0.0, nullptr);
            node.setProperty ("feedback_frequency", 0.5, nullptr);
            node.setProperty ("feedback_width", 0.5, nullptr);
            panel.setBounds (0, 0, 490, 155);
            panel.setValueTree (node);
            node.addListener (this);
        }

        ~TimePanel() override { node.removeListener (this); }

        void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override { ++writes; }

        juce::String timeText() { return FaderText::shown (panel.timeSlider); }

        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        juce::ValueTree node { "delay_globals_time" };
        GlobalTimeParametersComponent panel { mappings, console };
        int writes = 0;
    };

    juce::Point<float> thumbAt (juce::Slider& fader, double value)
    {
        return { fader.getWidth() * 0.5f, (float) fader.getPositionOfValue (value) };
    }
}

TEST (GlobalTimeParametersComponent, DelayTimeTextShowsTheNodesModeWhateverTheEnginesFlagsSay)
{
    struct Case { int mode; double x; const char* text; };
    const Case cases[] = {
        { 0, 0.0, "10.0ms" }, { 0, 0.25, "37.6ms" }, { 0, 0.5, "141ms" }, { 0, 0.75, "532ms" }, { 0, 0.87, "1.0s" }, { 0, 1.0, "2.0s" },
        { 1, 0.0, "1/64" }, { 1, 0.1123, "1/64" }, { 1, 0.1124, "1/32" }, { 1, 0.5, "1/4" }, { 1, 1.0, "4" },
        { 2, 0.5, "1/4t" }, { 2, 0.0, "1/64t" }, { 2, 1.0, "4t" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.mode) + " " + juce::String (c.x));
        TimePanel t;
        // The engines, which set these flags from the same change, may run after the panel.
        t.mappings.tempoSync = c.mode == 0;
        t.mappings.triplet = c.mode != 2;

        t.node.setProperty ("time_mode", c.mode, nullptr);
        t.node.setProperty ("time", c.x, nullptr);
        EXPECT_EQ (t.timeText(), c.text);

        // The mode changes the text only, not the fader or the stored time.
        t.node.setProperty ("time_mode", (c.mode + 1) % 3, nullptr);
        t.node.setProperty ("time_mode", c.mode, nullptr);
        EXPECT_EQ (t.timeText(), c.text);
        EXPECT_EQ ((double) t.node["time"], c.x);
    }
}

TEST (GlobalTimeParametersComponent, ClickingARowButtonSelectsItAloneAndWritesItsModeOnceUnlessStored)
{
    struct Case
    {
        const char* property;
        juce::var stored;
        int clicked; // row position
        juce::var expected;
        int writes;
    };

    const Case cases[] = {
        { "time_mode", 1, 2, 2, 1 },          // "Trip"
        { "time_mode", 2.0, 2, 2.0, 0 },      // already selected: the host's double stays
        { "time_mode", "0", 1, 1, 1 },        // a loaded text replaced by the user's int
        { "time_mode", 0, 0, 0, 0 },
        { "pattern_mode", 0, 1, 1, 1 },
        { "pattern_mode", 1.0, 1, 1.0, 0 },
        { "pattern_mode", 1, 0, 0, 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.property) + " " + c.stored.toString() + " click " + juce::String (c.clicked));
        TimePanel t;
        t.node.setProperty (c.property, c.stored, nullptr);
        t.writes = 0;

        const bool isTimeRow = juce::String (c.property) == "time_mode";
        std::vector<SimpleRectangleButton*> row { &t.panel.hzButton, &t.panel.beatsButton, &t.panel.tripletButton };
        if (! isTimeRow)
            row = { &t.panel.beatButton, &t.panel.tripletGridButton };

        ASSERT_TRUE (SyntheticMouse::clickButton (*row[(size_t) c.clicked]));

        EXPECT_TRUE (t.node[c.property].equalsWithSameType (c.expected)) << t.node[c.property].toString();
        EXPECT_EQ (t.writes, c.writes);
        for (size_t i = 0; i < row.size(); ++i)
            EXPECT_EQ (row[i]->getToggleState(), (int) i == c.clicked) << "button " << i;
        EXPECT_EQ (isTimeRow ? t.panel.timeModeSelection : t.panel.patternModeSelection, c.clicked);
    }

    TimePanel t;
    ASSERT_TRUE (SyntheticMouse::clickButton (t.panel.tripletButton));
    EXPECT_EQ (t.timeText(), "1/4t") << "the text follows the click at once";
    ASSERT_TRUE (SyntheticMouse::clickButton (t.panel.hzButton));
    EXPECT_EQ (t.timeText(), "141ms");
    ASSERT_TRUE (SyntheticMouse::clickButton (t.panel.tripletGridButton));
    EXPECT_EQ (t.timeText(), "141ms") << "the grid leaves the texts alone";
}

TEST (GlobalTimeParametersComponent, AModeNoButtonShowsIsRepairedToZeroAndTheZeroButtonSelected)
{
    struct Case { const char* property; juce::var stored; };
    const Case cases[] = { { "time_mode", 7 }, { "time_mode", -1 }, { "time_mode", 3.0 }, { "time_mode", "1e9" },
                           { "pattern_mode", 3 }, { "pattern_mode", -1 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.property) + " " + c.stored.toString());
        TimePanel t;
        t.node.setProperty (c.property, c.stored, nullptr);

        EXPECT_TRUE (t.node[c.property].equalsWithSameType (0));
        EXPECT_EQ (t.writes, 2) << "the stored value and the repair";
        if (juce::String (c.property) == "time_mode")
        {
            EXPECT_TRUE (t.panel.hzButton.getToggleState());
            EXPECT_FALSE (t.panel.beatsButton.getToggleState());
            EXPECT_EQ (t.timeText(), "141ms");
        }
        else
        {
            EXPECT_TRUE (t.panel.beatButton.getToggleState());
            EXPECT_FALSE (t.panel.tripletGridButton.getToggleState());
        }
    }
}

TEST (GlobalTimeParametersComponent, EveryStepOfAModesHostParameterIsShownAsPlayedAndNeverRewritten)
{
    // The pattern grid's host parameter has three steps; the engines play 2 as they play 1.
    struct Case { const char* property; juce::var stored; int selected; };
    const Case cases[] = {
        { "time_mode", 0.0, 0 }, { "time_mode", 1.0, 1 }, { "time_mode", 2.0, 2 }, { "time_mode", 2, 2 },
        { "pattern_mode", 0.0, 0 }, { "pattern_mode", 1.0, 1 }, { "pattern_mode", 2.0, 1 }, { "pattern_mode", 2, 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.property) + " " + c.stored.toString());
        TimePanel t;
        t.node.setProperty (c.property, c.stored, nullptr);
        MessagePump::run (20);

        const bool isTimeRow = juce::String (c.property) == "time_mode";
        std::vector<SimpleRectangleButton*> row { &t.panel.hzButton, &t.panel.beatsButton, &t.panel.tripletButton };
        if (! isTimeRow)
            row = { &t.panel.beatButton, &t.panel.tripletGridButton };

        for (size_t i = 0; i < row.size(); ++i)
            EXPECT_EQ (row[i]->getToggleState(), (int) i == c.selected) << "button " << i;
        EXPECT_EQ (t.writes, 1) << "only the change itself";
        EXPECT_TRUE (t.node[c.property].equalsWithSameType (c.stored));
    }
}

TEST (GlobalTimeParametersComponent, WhatTheTreeSaysMovesTheControlsAndIsNeverWrittenBack)
{
    struct Case { const char* property; juce::var stored; double shown; };
    const Case cases[] = {
        { "time", 0.123456, 0.1235 }, { "time", 1.5, 1.0 }, { "time", -0.2, 0.0 }, { "time", "0.3", 0.3 },
        { "time", std::numeric_limits<double>::quiet_NaN(), 0.0 }, { "feedback_amplitude", 0.20000000298023224, 0.2 },
        { "feedback_frequency", 2.0, 1.0 }, { "feedback_width", "0.75", 0.75 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.property) + " " + c.stored.toString());
        TimePanel t;
        t.node.setProperty (c.property, c.stored, nullptr);
        MessagePump::run (20);

        auto& fader = juce::String (c.property) == "time" ? t.panel.timeSlider
                    : juce::String (c.property) == "feedback_amplitude" ? t.panel.amplitudeSlider
                    : juce::String (c.property) == "feedback_frequency" ? t.panel.frequencySlider
                                                                       : t.panel.widthSlider;
        EXPECT_NEAR (fader.getValue(), c.shown, 1.0e-12);
        EXPECT_EQ (t.writes, 1) << "only the change itself";
        EXPECT_TRUE (t.node[c.property].equalsWithSameType (c.stored) || c.stored.toString() == "nan");
    }

    TimePanel t;
    for (const auto& mode : { juce::var (2.0), juce::var ("0"), juce::var (1.7) })
        t.node.setProperty ("time_mode", mode, nullptr);
    MessagePump::run (20);
    EXPECT_EQ (t.writes, 3);
    EXPECT_TRUE (t.panel.beatsButton.getToggleState()) << "1.7 reads as 1";
}

TEST (GlobalTimeParametersComponent, DoubleClickOrAltClickResetsAFaderToHalfAndWritesIt)
{
    for (int index = 0; index < 4; ++index)
    {
        for (const bool alt : { false, true })
        {
            TimePanel t;
            auto* faders = std::array<KelvatoneSlider*, 4> { &t.panel.timeSlider, &t.panel.amplitudeSlider, &t.panel.frequencySlider, &t.panel.widthSlider }[(size_t) index];
            const char* properties[] = { "time", "feedback_amplitude", "feedback_frequency", "feedback_width" };
            SCOPED_TRACE (juce::String (properties[index]) + (alt ? " alt-click" : " double-click"));

            t.node.setProperty (properties[index], 0.25, nullptr);
            t.writes = 0;
            const auto at = thumbAt (*faders, 0.9);

            if (alt)
                SyntheticMouse::click (*faders, at, juce::ModifierKeys::altModifier);
            else
            {
                SyntheticMouse::doubleClick (*faders, at);
            }

            EXPECT_EQ (faders->getValue(), 0.5);
            EXPECT_TRUE (t.node[properties[index]].equalsWithSameType (0.5));
            EXPECT_GE (t.writes, 1);

            // Resetting what is already stored writes nothing.
            t.writes = 0;
            SyntheticMouse::click (*faders, at, juce::ModifierKeys::altModifier);
            EXPECT_EQ (t.writes, 0);
        }
    }
}

TEST (GlobalTimeParametersComponent, DraggingTheTimeFaderWritesEveryValueItPassesOnTheGrid)
{
    TimePanel t;
    t.node.setProperty ("time_mode", 0, nullptr);
    std::vector<double> written;
    struct Spy : juce::ValueTree::Listener
    {
        std::vector<double>& out;
        explicit Spy (std::vector<double>& o) : out (o) {}
        void valueTreePropertyChanged (juce::ValueTree& n, const juce::Identifier& p) override { if (p.toString() == "time") out.push_back (n[p]); }
    } spy (written);
    t.node.addListener (&spy);

    SyntheticMouse::drag (t.panel.timeSlider, thumbAt (t.panel.timeSlider, 0.5), thumbAt (t.panel.timeSlider, 0.25));
    t.node.removeListener (&spy);

    ASSERT_FALSE (written.empty());
    for (auto v : written)
        EXPECT_NEAR (v * 10000.0, std::round (v * 10000.0), 1.0e-6) << v;
    EXPECT_NEAR ((double) t.node["time"], 0.25, 0.02);
    EXPECT_EQ ((double) t.node["time"], t.panel.timeSlider.getValue());
    EXPECT_TRUE (t.node["time"].isDouble());
    EXPECT_EQ (t.timeText(), juce::String (t.mappings.time_string ((float) t.panel.timeSlider.getValue(), 0)));
}

TEST (GlobalTimeParametersComponent, AnUnboundPanelWorksOnItsOwnAndWritesNothing)
{
    ParameterMappingFunctions mappings;
    CommandLineInterpreter console;
    GlobalTimeParametersComponent panel (mappings, console);
    panel.setBounds (0, 0, 490, 155);
    panel.setValueTree ({});

    EXPECT_TRUE (panel.beatsButton.getToggleState()) << "the default reference";
    EXPECT_TRUE (panel.beatButton.getToggleState()) << "the default grid";
    EXPECT_EQ (FaderText::shown (panel.timeSlider), "1/4");

    ASSERT_TRUE (SyntheticMouse::clickButton (panel.hzButton));
    EXPECT_TRUE (panel.hzButton.getToggleState());
    EXPECT_EQ (FaderText::shown (panel.timeSlider), "141ms");
    SyntheticMouse::drag (panel.timeSlider, thumbAt (panel.timeSlider, 0.5), thumbAt (panel.timeSlider, 1.0));
    EXPECT_EQ (FaderText::shown (panel.timeSlider), "2.0s");
    EXPECT_FALSE (panel.valueTree.isValid());
}

TEST (GlobalTimeParametersComponent, ControlsStandOnTheFixedGrid)
{
    TimePanel t;
    auto& p = t.panel;
    const std::pair<juce::Component*, juce::Rectangle<int>> expected[] = {
        { &p.timeSlider, { 15, 20, 50, 130 } },      { &p.amplitudeSlider, { 240, 20, 50, 130 } },
        { &p.frequencySlider, { 315, 20, 50, 130 } }, { &p.widthSlider, { 390, 20, 50, 130 } },
        { &p.hzButton, { 90, 33, 50, 25 } },          { &p.beatsButton, { 90, 63, 50, 25 } },
        { &p.tripletButton, { 90, 93, 50, 25 } },     { &p.beatButton, { 165, 33, 50, 25 } },
        { &p.tripletGridButton, { 165, 63, 50, 25 } },
    };

    for (const auto& [component, bounds] : expected)
        EXPECT_EQ (component->getBounds(), bounds) << component->getName();

    p.setSize (300, 100);
    EXPECT_EQ (p.widthSlider.getBounds(), juce::Rectangle<int> (390, 20, 50, 130)) << "the grid ignores the panel's size";
}

TEST (GlobalTimeParametersComponent, SnapshotShowsLabelsFadersAndTheSelectedButtonsLit)
{
    TimePanel t;
    t.node.setProperty ("time_mode", 2, nullptr);
    const auto image = t.panel.createComponentSnapshot (t.panel.getLocalBounds(), true, 1.0f);
    const auto& lf = t.panel.lookAndFeel;

    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (480, 150), lf.c0)) << "background";

    // Labels in white over each column, centred in (75 k - 10, 5, 100, 20).
    for (int k = 0; k < 6; ++k)
        EXPECT_GT (PixelProbe::countNear (image, { 75 * k - 10, 5, 100, 20 }, lf.c12, 60), 10) << "label " << k;

    // The frame of a selected button is white, of the others grey.
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (90, 105), lf.c12)) << "Trip";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (90, 45), lf.c4)) << "Hz";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (90, 75), lf.c4)) << "Beats";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (165, 45), lf.c12)) << "Beat";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (165, 75), lf.c4)) << "grid Trip";

    // The faders are drawn in white: the top cap of the time fader.
    EXPECT_GT (PixelProbe::countNear (image, { 15, 20, 50, 130 }, lf.c12), 100);
}
