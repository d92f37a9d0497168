#include <gtest/gtest.h>

#include "ScriptedEditor.h"

namespace
{
    // A cell of the left step editor in editor pixels: the pattern page at (0, 440), the editor
    // 40 px right of and below the page's corner, its beat blocks of 7-px cells from (4, 4).
    std::string leftCell (int block, int column, int row)
    {
        constexpr int blockStarts[8] = { 4, 88, 186, 270, 368, 452, 550, 634 };
        return std::to_string (40 + blockStarts[block] + 7 * column + 3) + " " + std::to_string (440 + 40 + 4 + 7 * row + 3);
    }

    double number (const HostRunner::Result& r, const std::string& key)
    {
        EXPECT_FALSE (r[key].empty()) << key;
        return std::atof (r[key].c_str());
    }
}

TEST (PatternPageInAWindow, ClickingAndDraggingOverStepsRewritesTheLeftPatternAndMovesItsFirstEcho)
{
    // Only the left channel's taps sound, without Ondula depth, so the first echo after the
    // impulse comes from the left channel's first tap that is on.
    const auto tree = ScriptedEditor::writeTree ("pattern-state.xml", {
        { "pattern_r=\"00011001011001101010101001010101\"", "pattern_r=\"00000000000000000000000000000000\"" } });

    // The click turns step 1 off; the drag along the lower band of the straight grid flips
    // steps 2 (off), 3 (on), 4 (on) and 5 (off), each once.
    const std::string expected = "00011010100110010101010110101010";
    const auto r = ScriptedEditor::run ("--tree-in '" + tree + "' --set delay_globals_ondula_amount=0 --steps '"
                                        "render before; "
                                        "click " + leftCell (0, 4, 4) + "; "
                                        "drag " + leftCell (0, 7, 4) + " " + leftCell (1, 4, 4) + " 20; "
                                        "wait-tree delay_pattern.pattern_l " + expected + "; "
                                        "render after; compare before after'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    EXPECT_EQ (r["loaded.tree.delay_pattern.pattern_l"], "01100110100110010101010110101010");
    EXPECT_EQ (r["tree.delay_pattern.pattern_l"], expected);

    // Nothing else in the tree moved, and patterns are no business of the host's.
    for (const auto& [key, value] : ScriptedEditor::under (r, "loaded.tree."))
    {
        if (key != "delay_pattern.pattern_l")
        {
            EXPECT_EQ (r["tree." + key], value) << key;
        }
    }
    EXPECT_EQ (r["host.changes"], "0") << r["host.events"];
    EXPECT_EQ (r["host.gestureBegins"], "0");
    EXPECT_EQ (r["host.stateChanges"], "2") << "the click and the drag, once each";

    // Tap t sounds t/2 time units after the impulse, a unit being a quarter note at 120 bpm.
    // Before, tap 1 is the first echo; after, taps 1 and 2 are gone and tap 3 is new.
    const auto tapOnset = [] (int tap) { return 0.5 * tap * 0.5 * 48000.0; };
    EXPECT_NEAR (number (r, "render.before.onsetSample"), tapOnset (1), 25.0);
    EXPECT_NEAR (number (r, "render.after.onsetSample"), tapOnset (3), 25.0);
    EXPECT_GT (number (r, "compare.before.after.difference"), 0.1);
}

TEST (PatternPageInAWindow, OpeningOnEachStepOfThePatternGridParameterShowsTheGridThatPlaysAndWritesNothing)
{
    // Left of the lower band's fourth cell, the straight grid draws a line (a step starts there);
    // the triplet grid draws the inside of step 0, which is off. The grid row's "Trip" button
    // shows its frame white when selected, grey otherwise.
    const std::string stepEdge = "65 514", tripButtonFrame = "1020 545";

    for (const auto& [normalised, triplet] : { std::pair<const char*, bool> { "0", false }, { "0.5", true }, { "1", true } })
    {
        SCOPED_TRACE (normalised);
        const auto r = ScriptedEditor::run (std::string ("--set delay_globals_time_pattern_mode=") + normalised
                                            + " --steps 'settle; pixel " + stepEdge + " stepEdge; pixel " + tripButtonFrame + " trip; settle'");
        ASSERT_EQ (r["result"], "ok") << r.output;

        EXPECT_EQ (r["pixel.stepEdge"], triplet ? "141414" : "F0F0F0");
        EXPECT_EQ (r["pixel.trip"], triplet ? "FFFFFF" : "808080");

        EXPECT_EQ (ScriptedEditor::under (r, "tree."), ScriptedEditor::under (r, "loaded.tree."));
        EXPECT_EQ (ScriptedEditor::under (r, "param."), ScriptedEditor::under (r, "loaded.param."));
        EXPECT_EQ (r["host.changes"], "0") << r["host.events"];
        EXPECT_EQ (r["host.stateChanges"], "0");
    }
}
