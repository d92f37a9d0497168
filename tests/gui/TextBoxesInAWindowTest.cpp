#include <gtest/gtest.h>

#include "ScriptedEditor.h"

#include <cmath>

namespace
{
    // Text boxes under the faders, in editor pixels (a fader's 20-px box ends its 130-px height):
    // the automation page's panel at (855, 90), the Global page's at (855, 470).
    const std::string centerBox = "895 230", amountBox = "970 230";
    const std::string timeBox = "895 610", feedbackBox = "1120 610", rateBox = "970 610";
    const std::string panTab = "825 211", ondulaTab = "825 564";
    const std::string timeHzButton = "970 515", rateHzButton = "1045 515";

    // Types into a box and commits with Return, then copies what the box shows onto the clipboard.
    std::string typeAndRead (const std::string& box, const std::string& text, const std::string& label)
    {
        return "click " + box + "; type " + text + "; key Return; "
               "click " + box + "; key ctrl+c; key Escape; clipboard " + label + "; ";
    }

    double number (const HostRunner::Result& r, const std::string& key)
    {
        EXPECT_FALSE (r[key].empty()) << key;
        return std::atof (r[key].c_str());
    }
}

TEST (TextBoxesInAWindow, EachBoxReadsTypedTextOnTheScaleItShowsAndTheHostHearsEveryEdit)
{
    const auto r = ScriptedEditor::run ("--steps '"
        + typeAndRead (centerBox, "40", "center")
        + "click " + panTab + "; " + typeAndRead (amountBox, "-25 %", "panAmount")
        + typeAndRead (timeBox, "1/8t", "timeNote")                       // "Beats": the t is ignored
        + "click " + timeHzButton + "; " + typeAndRead (timeBox, "1.2s", "timeSeconds")
        + typeAndRead (timeBox, "0.5", "timeBareSeconds")                 // the box shows seconds
        + typeAndRead (timeBox, "141", "timeBareMs")                      // now milliseconds
        + typeAndRead (feedbackBox, "40 %", "feedback")
        + "click " + ondulaTab + "; " + typeAndRead (rateBox, "1/4t", "rateNote")
        + "click " + rateHzButton + "; " + typeAndRead (rateBox, "1.2", "rateHz")
        + typeAndRead (rateBox, "loud", "rateAfterNonsense")
        + "settle'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    // What each box shows after its edit.
    const std::pair<const char*, const char*> shown[] = {
        { "center", "40%" }, { "panAmount", "-25%" }, { "timeNote", "1/8" }, { "timeSeconds", "1.2s" },
        { "timeBareSeconds", "500ms" }, { "timeBareMs", "141ms" }, { "feedback", "40%" }, { "rateNote", "1/4" },
        { "rateHz", "1.2Hz" }, { "rateAfterNonsense", "1.2Hz" },
    };
    for (const auto& [label, text] : shown)
        EXPECT_EQ (r[std::string ("clipboard.") + label], text) << label;

    // The tree holds what the boxes show, and each host parameter the same value.
    EXPECT_NEAR (number (r, "tree.automation_frequency.value"), 0.4, 1.0e-7);
    EXPECT_EQ (number (r, "tree.automation_pan.scale_y"), -0.25);
    EXPECT_NEAR (number (r, "tree.delay_globals_time.feedback_amplitude"), 0.4, 1.0e-12);
    const double time = number (r, "tree.delay_globals_time.time");
    EXPECT_NEAR (0.01 * std::pow (200.0, time), 0.141, 0.0005);
    const double rate = number (r, "tree.delay_globals_ondula.velocity");
    EXPECT_NEAR (0.5 * std::pow (11.0, rate) - 0.5, 1.2, 0.002);

    const auto param = [&] (const char* id) { return number (r, "param." + HostRunner::vst3Number (id)); };
    EXPECT_NEAR (param ("automation_frequency_value"), 0.4, 1.0e-6);
    EXPECT_EQ (param ("automation_pan_amount"), 0.0) << "a negative amount stops the parameter at its bound";
    EXPECT_NEAR (param ("delay_globals_time_time"), time, 1.0e-6);
    EXPECT_NEAR (param ("delay_globals_ondula_velocity"), rate, 1.0e-6);

    // Typing is an edit like a drag: every change a complete gesture. The two edits that no
    // parameter shows, the negative amount and the feedback, reach the host as a changed state.
    EXPECT_EQ (r["host.gestureBegins"], r["host.changes"]);
    EXPECT_EQ (r["host.gestureEnds"], r["host.changes"]);
    EXPECT_EQ (r["host.stateChanges"], "2") << r["host.events"];
    EXPECT_EQ (r["host." + HostRunner::vst3Number ("delay_globals_ondula_velocity") + ".changes"], "2") << "the nonsense moved nothing";
}
