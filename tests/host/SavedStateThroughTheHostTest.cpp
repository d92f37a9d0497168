#include "HostRunner.h"
#include "support/HostileText.h"
#include "support/ParameterTable.h"

#include <gtest/gtest.h>

TEST (SavedStateThroughTheHost, AStateSavedFromOneInstanceSoundsTheSameInAnother)
{
    const auto state = HostRunner::scratch ("roundtrip.state");
    const auto first = HostRunner::scratch ("roundtrip-first.wav");
    const auto second = HostRunner::scratch ("roundtrip-second.wav");
    const std::string signal = " --signal clicks --seconds 1.5 --bpm 100 --blocks 256 ";

    const auto saved = HostRunner::run ("render", signal
                                            + "--set delay_globals_time_time=0.31 --set delay_globals_dynamics_wet=0.8 "
                                              "--set ondula_delay_amount=0.9 --set delay_globals_time_time_mode=0 "
                                              "--set automation_frequency_value=0.7 --set delay_globals_dynamics_compressor_threshold=0.4 "
                                              "--state-out '" + state + "' --out '" + first + "'");
    ASSERT_EQ (saved.exitCode, 0) << saved.output;

    const auto restored = HostRunner::run ("render", signal + "--state-in '" + state + "' --out '" + second + "'");
    ASSERT_EQ (restored.exitCode, 0) << restored.output;

    const auto a = HostRunner::readWavSamples (first);
    const auto b = HostRunner::readWavSamples (second);
    ASSERT_EQ (a.size(), 2u * 72000u);
    EXPECT_EQ (a, b);

    // And the settings did change the sound: a default instance renders something else.
    const auto plain = HostRunner::scratch ("roundtrip-default.wav");
    ASSERT_EQ (HostRunner::run ("render", signal + "--out '" + plain + "'").exitCode, 0);
    EXPECT_NE (HostRunner::readWavSamples (plain), a);
}

TEST (SavedStateThroughTheHost, ACorruptStateFileLeavesAWorkingPlugin)
{
    const auto state = HostRunner::scratch ("corrupt.state");
    {
        std::ofstream out (state, std::ios::binary);
        out << "VC2!\xff\xff\xff\x7f<top preset_name=\"broken";
    }

    const auto out = HostRunner::scratch ("corrupt.wav");
    const auto r = HostRunner::run ("render", "--signal noise --seconds 0.5 --state-in '" + state + "' --out '" + out + "'");
    ASSERT_EQ (r.exitCode, 0) << r.output;
    EXPECT_EQ (r["nonfinite"], "0");
    EXPECT_GT (std::stof (r["channel0.peak"]), 0.0f);
}

TEST (SavedStateThroughTheHost, AFreshInstanceShowsTheHostTheValuesItsTreeHolds)
{
    const auto component = HostRunner::scratch ("fresh.component");
    const auto first = HostRunner::run ("state", "--component-out '" + component + "'");
    ASSERT_EQ (first.exitCode, 0) << first.output;

    const auto values = HostRunner::numbers (first["initial.parameters"]);
    const auto bytes = HostRunner::readFile (component);
    ASSERT_EQ (values.size(), 30u) << first.output;

    for (size_t i = 0; i < values.size(); ++i)
    {
        const auto& row = ParameterTable::rows[i];
        const auto value = HostRunner::treeValue (bytes, row.node, row.property);
        ASSERT_GE (value, 0.0) << row.node << "." << row.property;
        EXPECT_FLOAT_EQ (values[i], (float) (row.isMode ? value / 2.0 : value)) << row.id;
    }

    // The same block in a second instance: the same 30 values and the same settings.
    const auto second = HostRunner::run ("state", "--load '" + component + "'");
    ASSERT_EQ (second.exitCode, 0) << second.output;
    EXPECT_EQ (second["load0.parameters"], first["initial.parameters"]);
    EXPECT_EQ (second["load0.settings"], first["initial.settings"]);
}

TEST (SavedStateThroughTheHost, AFreshInstanceSavedAndRestoredSoundsTheSame)
{
    const auto state = HostRunner::scratch ("fresh.state");
    const auto first = HostRunner::scratch ("fresh-first.wav");
    const auto second = HostRunner::scratch ("fresh-second.wav");
    const std::string signal = " --signal clicks --seconds 1.5 --bpm 100 --blocks 256 ";

    ASSERT_EQ (HostRunner::run ("render", signal + "--state-out '" + state + "' --out '" + first + "'").exitCode, 0);
    ASSERT_EQ (HostRunner::run ("render", signal + "--state-in '" + state + "' --out '" + second + "'").exitCode, 0);

    const auto a = HostRunner::readWavSamples (first);
    ASSERT_EQ (a.size(), 2u * 72000u);
    EXPECT_EQ (a, HostRunner::readWavSamples (second));
}

// What a project holds is saved back as the user wrote it: a name that starts like a number with
// a long exponent keeps its digits, and where the state is too long to write whole, a number's
// padding goes before any of a name. Each saved state reloads with the same settings.
TEST (SavedStateThroughTheHost, NamesAreSavedAsWrittenAndAPaddedNumberGivesWayBeforeAName)
{
    using HostileText::repeated;
    const struct { const char* what; std::string xml; std::string savedName; } cases[] = {
        { "a name like a number", "<top preset_name=\"2e1234567890 mix\"/>", "2e1234567890 mix" },
        { "a name of quotes beside a number padded with tabs",
          "<top preset_name='N" + repeated ("\"", 140000) + "'><delay><delay_pattern time=\"0.5" + repeated ("\t", 190000) + "\"/></delay></top>",
          "N" + repeated ("&quot;", 140000) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto loaded = HostRunner::scratch ("as-written.component"), saved = HostRunner::scratch ("as-written-saved.component");
        HostRunner::writeFile (loaded, HostRunner::stateBlock (c.xml));
        std::remove (saved.c_str());

        const auto play = HostRunner::play ("as-written", "stopped 64 64", "--signal silence --seconds 0.1 --component-in '" + loaded
                                                                              + "' --state-out '" + saved + "'");
        ASSERT_EQ (play.exitCode, 0) << play.output;

        const auto text = HostRunner::readFile (saved);
        EXPECT_NE (text.find ("preset_name=\"" + c.savedName + "\""), std::string::npos) << "the name is saved whole";
        EXPECT_NE (text.find ("<delay_pattern time=\"0.5\""), std::string::npos);

        const auto reload = HostRunner::run ("state", "--load '" + loaded + "' --load '" + saved + "'");
        ASSERT_EQ (reload.exitCode, 0) << reload.output;
        EXPECT_NE (reload["load0.settings"], reload["initial.settings"]);
        EXPECT_EQ (reload["load1.settings"], reload["load0.settings"]) << "the saved state reloads with every setting";
    }
}
