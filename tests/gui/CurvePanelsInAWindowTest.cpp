#include <gtest/gtest.h>

#include "ScriptedEditor.h"

#include <cmath>

namespace
{
    // The automation page stands at (800, 60), its tab container 25 px lower, the panel 55 px right
    // of and 5 px below the container's corner, and the curve editor at (165, 30) in the panel: so
    // at (1020, 120), 310 x 95, with the unit square inside 10-px margins.
    std::string curvePoint (double x, double y)
    {
        return std::to_string (1030 + (int) std::lround (x * 290.0)) + " " + std::to_string (205 - (int) std::lround (y * 75.0));
    }

    double number (const HostRunner::Result& r, const std::string& key)
    {
        EXPECT_FALSE (r[key].empty()) << key;
        return std::atof (r[key].c_str());
    }
}

TEST (CurvePanelsInAWindow, DraggingAFrequencyCurvePointReachesTheTreeTheTapsAndTheHostAsAChangedState)
{
    // No Ondula depth, so the taps' filters stay where the automation puts them. The last point
    // of the default curve (1, 0) goes up to (1, 1): every tap's centre frequency rises.
    const auto r = ScriptedEditor::run ("--set delay_globals_ondula_amount=0 --steps '"
                                        "render before; "
                                        "move " + curvePoint (1, 0) + "; drag " + curvePoint (1, 0) + " " + curvePoint (1, 1) + "; "
                                        "settle; "
                                        "render after; render again; compare before after; compare after again'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    EXPECT_EQ (r["tree.automation_frequency.curve"], "0 1 -0.1\\n1 1 0\\n");

    for (const auto& [key, value] : ScriptedEditor::under (r, "loaded.tree."))
    {
        if (key != "automation_frequency.curve")
        {
            EXPECT_EQ (r["tree." + key], value) << key;
        }
    }

    // The curve is no host parameter: the host hears of the drag once, as a changed state.
    EXPECT_EQ (r["host.changes"], "0") << r["host.events"];
    EXPECT_EQ (r["host.gestureBegins"], "0");
    EXPECT_EQ (r["host.stateChanges"], "1");

    // The engines re-read the curve: the same impulse now sounds different, and the same again.
    EXPECT_GT (number (r, "compare.before.after.difference"), 0.01);
    EXPECT_LT (number (r, "compare.after.again.difference"), 1.0e-6);
}
