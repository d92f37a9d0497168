#include "HostRunner.h"
#include "support/HostileText.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>

namespace
{
using HostileText::repeated;

std::string withCurve (const std::string& curveText)
{
    return "<top version=\"100\"><ondula><ondula_frequency curve=\"" + curveText + "\"/></ondula></top>";
}

constexpr size_t cap = 1 << 20;
} // namespace

// Projects a user may be handed: each state goes to IComponent::setState through the test host.
// Larger than the cap, it changes nothing at once; within it, it loads, however its text is made,
// in a time that does not grow faster than its size (printed, not asserted).
TEST (HostileStateThroughTheHost, OversizedStatesChangeNothingAndTheLargestAllowedLoadInTime)
{
    struct Case { std::string name, xml; bool loads; };
    const Case cases[] = {
        { "curve of 128k points with line breaks", withCurve (repeated ("0.5 0.5 0&#10;", 128 * 1024)), false },
        { "name of 512k ampersands", "<top preset_name=\"" + repeated ("&amp;", 512 * 1024) + "\"/>", false },
        { "curve with line breaks at the cap", withCurve (repeated ("0.5 0.5 0&#10;", (cap - 200) / 14)), true },
        { "curve with blanks at the cap", withCurve (repeated ("0.25 0.5 0 ", (cap - 200) / 11)), true },
        { "name of ampersands at the cap", "<top preset_name=\"" + repeated ("&amp;", (cap - 200) / 5) + "\"/>", true },
    };

    std::string loads;

    for (size_t i = 0; i < std::size (cases); ++i)
    {
        const auto file = HostRunner::scratch ("hostile-" + std::to_string (i) + ".component");
        HostRunner::writeFile (file, HostRunner::stateBlock (cases[i].xml));
        loads += " --load '" + file + "'";
    }

    const auto r = HostRunner::run ("state", loads);
    ASSERT_EQ (r.exitCode, 0) << "the host died";

    auto previous = r["initial.settings"];
    ASSERT_FALSE (previous.empty());

    for (size_t i = 0; i < std::size (cases); ++i)
    {
        const auto prefix = "load" + std::to_string (i);
        const auto settings = r[prefix + ".settings"];
        std::cout << "[ time     ] setState, " << cases[i].name << " (" << HostRunner::stateBlock (cases[i].xml).size()
                  << " bytes): " << r[prefix + ".seconds"] << " s" << std::endl;

        if (cases[i].loads)
            EXPECT_NE (settings, previous) << cases[i].name;
        else
            EXPECT_EQ (settings, previous) << cases[i].name << ": nothing may change";

        previous = settings;
    }
}

// A host that sends a value that is not a number to a mode must read back the mode that plays.
TEST (HostileStateThroughTheHost, AParameterSetToNaNReadsBackAsTheValueThatPlays)
{
    const char* ids[] = { "delay_globals_time_time_mode", "delay_globals_ondula_time_mode", "delay_globals_time_pattern_mode",
                          "delay_globals_dynamics_wet" };
    std::string sets;

    for (const auto* id : ids)
        sets += std::string (" --set ") + id + "=nan";

    const auto r = HostRunner::run ("controller", sets + " --set delay_globals_dynamics_dry=0.25");
    ASSERT_EQ (r.exitCode, 0) << r.output;

    const auto readBack = [&r] (const char* id)
    {
        const auto text = r["controller." + HostRunner::vst3Number (id)];
        return text.empty() ? -1.0 : std::stod (text); // "nan" reads as NaN
    };

    for (const auto* id : ids)
        EXPECT_EQ (readBack (id), 0.0) << id;

    EXPECT_EQ (readBack ("delay_globals_dynamics_dry"), 0.25);

    // And what plays is what a host setting mode 0 gets.
    const auto nan = HostRunner::run ("state", "--set delay_globals_time_time_mode=nan");
    const auto zero = HostRunner::run ("state", "--set delay_globals_time_time_mode=0");
    ASSERT_EQ (nan.exitCode, 0);
    EXPECT_EQ (nan["initial.settings"], zero["initial.settings"]);
}
