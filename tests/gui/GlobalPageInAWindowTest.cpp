#include <gtest/gtest.h>

#include "ScriptedEditor.h"

#include <cmath>

namespace
{
    // Where the Global page's controls stand in the editor: the page at (800, 440), its tab
    // container 25 px lower, a panel 55 px right of and 5 px below the container's corner.
    constexpr int panelX = 855, panelY = 470;
    const std::string tripButton = std::to_string (panelX + 115) + " " + std::to_string (panelY + 105);

    // The delay-time fader (15, 20, 50, 130) in the panel: its track runs from value 1 at 12 px
    // below its top to value 0 at 86 px further down (a 20-px text box below it).
    int timeFaderY (double value) { return panelY + 20 + 12 + (int) std::lround ((1.0 - value) * 86.0); }
    const std::string timeFaderX = std::to_string (panelX + 40);

    // Tab centres: the automation, Ondula and Global pages' bars start 47 px below each page's top
    // and the framework spaces their 30-px tabs 30, 24 and 31 px apart to fit 120 px.
    std::string everyTabClick()
    {
        std::string steps;
        const struct { int barTop, tabs, step, length; } bars[] = { { 107, 4, 30, 29 }, { 297, 5, 24, 23 }, { 487, 3, 31, 30 } };

        for (const auto& bar : bars)
            for (int k = 0; k < bar.tabs; ++k)
                steps += "click 825 " + std::to_string (bar.barTop + k * bar.step + bar.length / 2) + "; wait 100; ";

        return steps;
    }

    double number (const HostRunner::Result& r, const std::string& key)
    {
        EXPECT_FALSE (r[key].empty()) << key;
        return std::atof (r[key].c_str());
    }
}

TEST (GlobalPageInAWindow, ClickingTripAndDraggingTheDelayTimeReachTheTreeTheHostAndTheSound)
{
    // No Ondula depth, so the taps sit exactly where the delay time puts them.
    const auto r = ScriptedEditor::run ("--set delay_globals_ondula_amount=0 --steps '"
                                        "render before; "
                                        "click " + tripButton + "; wait-param delay_globals_time_time_mode 1; "
                                        "drag " + timeFaderX + " " + std::to_string (timeFaderY (0.5)) + " " + timeFaderX + " "
                                        + std::to_string (timeFaderY (0.2907)) + "; wait-param delay_globals_time_time 0.2907; settle; "
                                        "render after; compare before after'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    // The tree: the triplet reference and a delay time in the 1/16 row.
    EXPECT_EQ (number (r, "tree.delay_globals_time.time_mode"), 2.0);
    const double time = number (r, "tree.delay_globals_time.time");
    EXPECT_NEAR (time, 0.2907, 0.012);
    const int row = (int) ((float) time * 8.9f);
    EXPECT_EQ (row, 2);

    // The host: both parameters moved, each change inside a gesture, nothing else touched.
    const auto modeKey = HostRunner::vst3Number ("delay_globals_time_time_mode");
    const auto timeKey = HostRunner::vst3Number ("delay_globals_time_time");
    EXPECT_EQ (number (r, "param." + modeKey), 1.0);
    EXPECT_NEAR (number (r, "param." + timeKey), time, 1.0e-6);
    for (const auto& key : { modeKey, timeKey })
    {
        EXPECT_GE (number (r, "host." + key + ".changes"), 1.0) << key;
        EXPECT_EQ (r["host." + key + ".gestureBegins"], r["host." + key + ".gestureEnds"]) << key;
        EXPECT_GE (number (r, "host." + key + ".gestureBegins"), 1.0) << key;
    }
    EXPECT_TRUE (r["host.parameters"] == modeKey + "," + timeKey || r["host.parameters"] == timeKey + "," + modeKey)
        << r["host.parameters"];
    EXPECT_EQ (r["host.events"].rfind ("begin:" + modeKey + ",change:" + modeKey, 0), 0u) << r["host.events"];

    // Nothing else in the tree moved.
    for (const auto& [key, value] : ScriptedEditor::under (r, "loaded.tree."))
    {
        if (key != "delay_globals_time.time_mode" && key != "delay_globals_time.time")
        {
            EXPECT_EQ (r["tree." + key], value) << key;
        }
    }

    // The sound: tap 1 sounds half a time unit after the impulse. A quarter note at the
    // default 120 bpm before; a sixteenth-note triplet after.
    constexpr double beatsForNote[] = { 0.0625, 0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0 };
    EXPECT_NEAR (number (r, "render.before.onsetSample"), 0.5 * 0.5 * 1.0 * 48000.0, 25.0);
    EXPECT_NEAR (number (r, "render.after.onsetSample"), 0.5 * 0.5 * beatsForNote[row] * 2.0 / 3.0 * 48000.0, 25.0);
    EXPECT_GT (number (r, "compare.before.after.difference"), 0.1);
}

TEST (GlobalPageInAWindow, TabsShowTheirPanelsAndFadersResetOnDoubleOrAltClick)
{
    // "Levels", then a double-click on "Dry/Wet" (reset 0); "Ondula", then an Alt-click on
    // "Amount" (reset 1). Each write reaches the host only if its tab's panel was shown.
    const auto fader = [] (int column) { return std::to_string (panelX + 15 + 75 * column + 25) + " " + std::to_string (timeFaderY (0.5)); };
    const auto r = ScriptedEditor::run ("--steps 'click 825 533; double-click " + fader (0) + "; wait-param delay_globals_dynamics_wet 0; "
                                        "click 825 564; alt-click " + fader (0) + "; wait-param delay_globals_ondula_amount 1; settle'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    EXPECT_EQ (number (r, "tree.delay_globals_dynamics.wet"), 0.0);
    EXPECT_EQ (number (r, "tree.delay_globals_ondula.amount"), 1.0);
    EXPECT_EQ (number (r, "tree.delay_globals_time.time"), 0.5) << "the time panel was hidden";
    EXPECT_EQ (r["host.parameters"].find (','), r["host.parameters"].rfind (',')) << "two parameters: " << r["host.parameters"];
}

TEST (GlobalPageInAWindow, OpeningTheEditorAndClickingEveryTabChangesNothingTheHostCouldSee)
{
    const auto tree = ScriptedEditor::writeTree ("odd-state.xml", {
        { "<delay_globals_ondula time_mode=\"1\" wavelength=\"0.5\" phase=\"0.5\" velocity=\"0.5\" amount=\"0.5\"/>",
          "<delay_globals_ondula time_mode=\"2\" wavelength=\"0.123456\" phase=\"1.5\" velocity=\"0.123456\" amount=\"-0.25\"/>" },
        { "<delay_globals_time time_mode=\"1\" pattern_mode=\"0\" time=\"0.5\" feedback_amplitude=\"0.0\" feedback_frequency=\"0.5\" feedback_width=\"0.5\"/>",
          "<delay_globals_time time_mode=\"0\" pattern_mode=\"1\" time=\"0.123456\" feedback_amplitude=\"1.5\" feedback_frequency=\"0.123456\" feedback_width=\"-0.5\"/>" },
        { "<delay_globals_dynamics dry=\"0.5\" wet=\"0.5\" compressor_threshold=\"1.0\" compressor_slope=\"0.5\"/>",
          "<delay_globals_dynamics dry=\"0.5\" wet=\"0.123456\" compressor_threshold=\"1.0\" compressor_slope=\"0.123456\"/>" },
        { "<automation_frequency value=\"0.2000000029802322\" scale_y=\"0.300000011920929\" curve=\"0 1 -0.1&#10;1 0 0&#10;\"/>",
          "<automation_frequency value=\"0.123456\" scale_y=\"-1.5\" curve=\"1 1 0&#10;0 0.5 0.3&#10;0.5 0.1234567 2\"/>" },
        { "<ondula_bandwidth scale=\"0.25\" phase=\"0.75\" curve=\"0 1 0&#10;\"/>",
          "<ondula_bandwidth scale=\"0.123456\" phase=\"1.5\" curve=\"0.5 0.5\"/>" },
    });

    const auto r = ScriptedEditor::run ("--tree-in '" + tree + "' --steps 'settle; " + everyTabClick() + "reopen; " + everyTabClick() + "settle'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    const auto loaded = ScriptedEditor::under (r, "loaded.tree.");
    EXPECT_EQ (loaded.at ("delay_globals_time.time_mode"), "0.0") << "the loaded state holds the free reference";
    EXPECT_EQ (loaded.at ("delay_globals_ondula.time_mode"), "2.0");
    EXPECT_EQ (loaded.at ("delay_globals_time.feedback_amplitude"), "1.0") << "a loaded 1.5 is held at the top of its range";

    EXPECT_EQ (ScriptedEditor::under (r, "tree."), loaded);
    EXPECT_EQ (ScriptedEditor::under (r, "param."), ScriptedEditor::under (r, "loaded.param."));
    EXPECT_EQ (r["host.changes"], "0") << r["host.events"];
    EXPECT_EQ (r["host.gestureBegins"], "0");
    EXPECT_EQ (r["host.gestureEnds"], "0");
    EXPECT_EQ (r["host.stateChanges"], "0");
}

TEST (GlobalPageInAWindow, AScriptWithAStepTheHostDoesNotKnowStopsBeforeAnythingRuns)
{
    const auto r = ScriptedEditor::run ("--steps 'click 10 10; jump 3 4'");
    EXPECT_EQ (r.exitCode, 2);
    EXPECT_NE (r.output.find ("cannot read the step \"jump 3 4\""), std::string::npos) << r.output;
    EXPECT_TRUE (r["result"].empty());
}
