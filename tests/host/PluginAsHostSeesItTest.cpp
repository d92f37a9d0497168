#include "HostRunner.h"
#include "support/ParameterTable.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
struct ParameterLine
{
    std::map<std::string, std::string> fields;
};

ParameterLine parameterLine (const HostRunner::Result& result, int index)
{
    ParameterLine line;
    const auto prefix = "parameter" + std::to_string (index) + " ";
    const auto start = result.output.find (prefix);

    if (start == std::string::npos)
        return line;

    const auto end = result.output.find ('\n', start);
    std::istringstream fields (result.output.substr (start + prefix.size(), end - start - prefix.size()));

    for (std::string field; std::getline (fields, field, '|');)
        if (const auto eq = field.find ('='); eq != std::string::npos)
            line.fields[field.substr (0, eq)] = field.substr (eq + 1);

    return line;
}

} // namespace

TEST (PluginAsHostSeesIt, IdentityBusesAndTiming)
{
    const auto r = HostRunner::run ("list", "");
    ASSERT_EQ (r.exitCode, 0) << r.output;

    EXPECT_EQ (r["name"], "Ondula Delay Free");
    EXPECT_EQ (r["vendor"], "Kelvatone");
    EXPECT_EQ (r["category"], "Fx");
    EXPECT_EQ (r["version"], "1.0.0");
    EXPECT_EQ (r["acceptsMidi"], "0");
    EXPECT_EQ (r["producesMidi"], "0");
    EXPECT_EQ (r["input0"], "Input;Stereo");
    EXPECT_EQ (r["output0"], "Output;Stereo");
    EXPECT_EQ (r["latency"], "0");
    EXPECT_EQ (r["tail"], "inf") << "echoes and feedback ring on: a host must never cut them off";

    // One program list of one program, which must carry a name (the VST3 validator checks it).
    EXPECT_EQ (r["vst3.programs"], "1");
    EXPECT_EQ (r["vst3.program0/0"], "Default");
}

TEST (PluginAsHostSeesIt, AcceptsMonoAndStereoAndRefusesMismatchedLayouts)
{
    const auto r = HostRunner::run ("list", "");
    ASSERT_EQ (r.exitCode, 0) << r.output;

    EXPECT_EQ (r["layout.mono>mono"], "accepted");
    EXPECT_EQ (r["layout.stereo>stereo"], "accepted");
    EXPECT_EQ (r["layout.mono>stereo"], "refused");
    EXPECT_EQ (r["layout.stereo>mono"], "refused");
    EXPECT_EQ (r["layout.5.1>5.1"], "refused");
}

TEST (PluginAsHostSeesIt, ThirtyParametersInTableOrderThenBypass)
{
    const auto r = HostRunner::run ("list", "");
    ASSERT_EQ (r.exitCode, 0) << r.output;
    ASSERT_EQ (r["parameters"], "31");

    for (int i = 0; i < 30; ++i)
    {
        const auto& expected = ParameterTable::rows[i];
        auto line = parameterLine (r, i);

        EXPECT_EQ (line.fields["id"], HostRunner::vst3Number (expected.id)) << expected.id;
        EXPECT_EQ (line.fields["name"], expected.name);
        EXPECT_EQ (line.fields["label"], "");
        EXPECT_EQ (line.fields["default"], "0.5") << expected.id;
        EXPECT_EQ (line.fields["text"], expected.isMode ? "1" : "0.5000000") << expected.id;
        EXPECT_EQ (line.fields["discrete"], expected.isMode ? "1" : "0") << expected.id;
        EXPECT_EQ (line.fields["automatable"], "1");

        if (expected.isMode)
        {
            EXPECT_EQ (line.fields["steps"], "3") << expected.id;
        }
    }

    auto bypass = parameterLine (r, 30);
    EXPECT_EQ (bypass.fields["name"], "Bypass");
    EXPECT_EQ (r["bypass"], "Bypass");
}

TEST (PluginAsHostSeesIt, FullyDryOutputIsTheInputUnchangedAtAnyBlockSize)
{
    for (const auto* blocks : { "512", "1,7,64,4096", "33" })
    {
        const auto in = HostRunner::scratch ("dry-in.wav");
        const auto out = HostRunner::scratch ("dry-out.wav");
        const auto r = HostRunner::run ("render", "--signal noise --seconds 0.5 --set delay_globals_dynamics_wet=0 --blocks "
                                                      + std::string (blocks) + " --write-input '" + in + "' --out '" + out + "'");
        ASSERT_EQ (r.exitCode, 0) << r.output;
        EXPECT_EQ (r["nonfinite"], "0");

        const auto input = HostRunner::readWavSamples (in);
        const auto output = HostRunner::readWavSamples (out);
        ASSERT_EQ (input.size(), 48000u);
        EXPECT_EQ (input, output) << "blocks " << blocks;
    }
}

TEST (PluginAsHostSeesIt, RendersMonoAndStereoWithFiniteOutput)
{
    for (const auto* channels : { "1", "2" })
    {
        const auto out = HostRunner::scratch (std::string ("render-") + channels + ".wav");
        const auto r = HostRunner::run ("render", std::string ("--signal clicks --seconds 1 --bpm 100 --channels ") + channels
                                                      + " --set delay_globals_time_time=0.3 --out '" + out + "'");
        ASSERT_EQ (r.exitCode, 0) << r.output;
        EXPECT_EQ (r["nonfinite"], "0");
        EXPECT_EQ (r["samples"], "48000");
    }
}

TEST (PluginAsHostSeesIt, TimedRenderReportsItsSpeedAndRendersTheSameAudio)
{
    // The benchmark's state (every tap on, the wave moving) must load, or the timing measures
    // something else: it changes the sound from the defaults'.
    const std::string render = "--signal noise --seconds 0.5 --blocks 512 ";
    const std::string allTaps = "--state-in '" ONDULA_BENCH_STATE "' ";
    const auto timed = HostRunner::scratch ("timed.wav");
    const auto untimed = HostRunner::scratch ("untimed.wav");
    const auto defaults = HostRunner::scratch ("untimed-defaults.wav");

    const auto t = HostRunner::run ("render", render + allTaps + "--time --out '" + timed + "'");
    ASSERT_EQ (t.exitCode, 0) << t.output;
    EXPECT_GT (std::stod (t["render.realtime"]), 0.0) << t.output;
    EXPECT_GT (std::stod (t["render.seconds"]), 0.0) << t.output;

    const auto u = HostRunner::run ("render", render + allTaps + "--out '" + untimed + "'");
    ASSERT_EQ (u.exitCode, 0) << u.output;
    EXPECT_EQ (u["render.realtime"], "") << "timing is reported only on request";
    EXPECT_EQ (HostRunner::readWavSamples (timed), HostRunner::readWavSamples (untimed));

    ASSERT_EQ (HostRunner::run ("render", render + "--out '" + defaults + "'").exitCode, 0);
    EXPECT_NE (HostRunner::readWavSamples (defaults), HostRunner::readWavSamples (untimed));
}
