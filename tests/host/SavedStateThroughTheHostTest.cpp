#include "HostRunner.h"

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
