// The engine's vector rendering against the plain scalar rendering of the same rules.

#include "support/EngineTestRig.h"
#include "support/ScalarOndulaOracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{
using Path = TapLaneKernel::Path;

struct OracleCase
{
    const char* name;
    int blockSize;
    int numBlocks;
    Path path;
    bool rightChannel;
    double sampleRate;
    int lineStart = 0; // where writing starts; near the end, reads wrap round the line
};

std::string pathName (Path p);

void PrintTo (const OracleCase& c, std::ostream* os)
{
    *os << c.name << " on the " << pathName (c.path) << " path";
}

std::string pathName (Path p)
{
    switch (p)
    {
        case Path::automatic: return "automatic";
        case Path::portable:  return "portable";
        case Path::sse2:      return "sse2";
        case Path::avx2:      return "avx2";
        case Path::avx512:    return "avx512";
    }
    return "?";
}

/** Moves every setting the block reads at fixed points of the run: the modulation throughout,
    patterns, grid, tempo sync (delay and rate), tempo, host time and feedback along the way. */
void applyScenarioStep (EngineTestRig& rig, ScalarOndulaOracle& oracle, int block, int numBlocks)
{
    const auto at = [numBlocks] (int percent) { return numBlocks * percent / 100; };

    if (block == 0)
    {
        rig.set ("delay_globals_ondula", "amount", 0.9);
        rig.set ("delay_globals_ondula", "velocity", 0.8);
        rig.set ("delay_globals_ondula", "time_mode", 0);
        rig.set ("delay_globals_time", "time", 0.0); // feedback returns after 7680 samples
        rig.set ("delay_globals_time", "time_mode", 0);
        rig.set ("delay_globals_time", "feedback_amplitude", 0.8);
        rig.set ("delay_globals_time", "feedback_width", 0.3);
        rig.set ("ondula_amplitude", "curve", "0 1 0\n1 0.3 0.5\n");
        rig.set ("ondula_pan", "curve", "0 0.2 0\n1 1 0\n");
        rig.set ("automation_pan", "scale_y", -0.7);
        rig.engine->hostTime.store (3.25);
        rig.engine->clock.store (0.0);
        oracle.resetClock();
    }

    if (block == at (15))
        rig.set ("delay_pattern", rig.engine->isRightChannel ? "pattern_r" : "pattern_l", "11111");
    if (block == at (25))
        rig.set ("delay_globals_time", "pattern_mode", 1);
    if (block == at (35))
    {
        rig.set ("delay_pattern", rig.engine->isRightChannel ? "pattern_r" : "pattern_l", "11111111111111111111111111111111");
        rig.set ("delay_globals_time", "time_mode", 2);
        rig.set ("delay_globals_time", "time", 0.05);
    }
    if (block == at (45))
    {
        rig.set ("delay_globals_ondula", "time_mode", 1);
        rig.mappings.secondsPerBeat.store (0.4f);
    }
    if (block == at (55))
    {
        rig.set ("delay_pattern", rig.engine->isRightChannel ? "pattern_r" : "pattern_l", "");
        rig.mappings.secondsPerBeat.store (0.75f);
    }
    if (block == at (62))
        rig.set ("delay_pattern", rig.engine->isRightChannel ? "pattern_r" : "pattern_l", "0110x1101001100101");
    if (block == at (70))
    {
        rig.set ("delay_globals_time", "pattern_mode", 0);
        rig.set ("delay_globals_time", "time_mode", 0);
        rig.set ("delay_globals_time", "feedback_amplitude", 0.2);
        rig.set ("delay_globals_time", "time", 0.02);
        rig.set ("automation_frequency", "scale_y", -0.6);
        rig.engine->hostTime.store (100.0);
        rig.engine->clock.store (0.0);
        oracle.resetClock();
    }
    if (block == at (85))
        rig.set ("delay_globals_ondula", "time_mode", 2);
}

class OndulaDelayMatchesScalarOracle : public testing::TestWithParam<OracleCase>
{
};

TEST_P (OndulaDelayMatchesScalarOracle, SampleForSampleOverManyModulatedBlocks)
{
    const auto& c = GetParam();

    if (! TapLaneKernel::isAvailable (c.path))
        GTEST_SKIP() << pathName (c.path) << " is not available on this processor";

    EngineTestRig rig (c.rightChannel, c.sampleRate, c.blockSize);
    rig.engine->setLanePath (c.path);
    ScalarOndulaOracle oracle (rig.mappings, c.rightChannel, (float) (int) c.sampleRate);
    rig.engine->moveWritePositionForTesting (c.lineStart);
    oracle.moveWritePosition (c.lineStart);

    int mismatches = 0;
    double energy = 0.0;

    for (int b = 0; b < c.numBlocks && mismatches == 0; ++b)
    {
        applyScenarioStep (rig, oracle, b, c.numBlocks);

        // Louder than full scale, so that the lanes' clamps take part.
        auto block = noiseBlock (c.blockSize, 1000u + (unsigned) b, 3.0f);
        auto expected = block;

        const auto settings = rig.engine->currentSettings();
        const double hostTime = rig.engine->hostTime.load();
        oracle.process (expected.data(), c.blockSize, settings, hostTime);
        rig.process (block);

        for (int i = 0; i < c.blockSize; ++i)
        {
            energy += (double) block[(size_t) i] * block[(size_t) i];

            if (block[(size_t) i] != expected[(size_t) i] && ++mismatches <= 3)
                ADD_FAILURE() << "block " << b << " sample " << i << ": engine " << block[(size_t) i]
                              << ", oracle " << expected[(size_t) i];
        }
    }

    EXPECT_EQ (mismatches, 0);
    EXPECT_GT (energy, 1.0) << "the run should be far from silent";
    EXPECT_EQ (rig.engine->clock.load(), oracle.clock);

    for (int t = 0; t < 32; ++t)
    {
        EXPECT_EQ (rig.engine->tapStates[t].delayOndula, oracle.taps[t].delayOndula) << "tap " << t;
        EXPECT_EQ (rig.engine->tapStates[t].gain, oracle.taps[t].gain) << "tap " << t;
        EXPECT_EQ (rig.engine->tapStates[t].frequency, oracle.taps[t].frequency) << "tap " << t;
    }

    EXPECT_EQ (rig.engine->feedbackState.delayOndula, oracle.feedback.delayOndula);
}

std::string caseName (const testing::TestParamInfo<OracleCase>& info)
{
    return std::string (info.param.name) + "_" + pathName (info.param.path);
}

INSTANTIATE_TEST_SUITE_P (
    BlockSizesPathsAndChannels, OndulaDelayMatchesScalarOracle,
    testing::Values (
        OracleCase { "Block1", 1, 12000, Path::automatic, false, 48000.0 },
        OracleCase { "Block7", 7, 3000, Path::automatic, false, 48000.0 },
        OracleCase { "Block64", 64, 240, Path::automatic, false, 48000.0 },
        OracleCase { "Block4096", 4096, 24, Path::automatic, false, 48000.0 },
        OracleCase { "Block64Right", 64, 240, Path::automatic, true, 44100.0 },
        OracleCase { "Block7Right96k", 7, 3000, Path::automatic, true, 96000.0 },
        OracleCase { "Block64", 64, 160, Path::portable, false, 48000.0 },
        OracleCase { "Block7", 7, 2400, Path::sse2, false, 48000.0 },
        OracleCase { "Block64", 64, 160, Path::sse2, true, 48000.0 },
        OracleCase { "Block7", 7, 2400, Path::avx2, false, 48000.0 },
        OracleCase { "Block64", 64, 160, Path::avx2, true, 48000.0 },
        OracleCase { "Block7", 7, 2400, Path::avx512, false, 48000.0 },
        OracleCase { "Block64", 64, 160, Path::avx512, true, 48000.0 },
        OracleCase { "Block64WrappingLine", 64, 300, Path::automatic, false, 48000.0, (1 << 23) - 4000 },
        OracleCase { "Block61WrappingLine", 61, 300, Path::sse2, true, 48000.0, (1 << 23) - 9000 }),
    caseName);
} // namespace

namespace
{
// The engines of one plug-in compute the same tap targets; the second engine of a block reuses
// the first one's results when its inputs are exactly the same, and only then.
TEST (OndulaDelayPairs, EnginesMatchTheirOraclesWhetherTheirSettingsAgreeOrNot)
{
    struct Pair { const char* name; bool sameSettings; bool secondIsRight; };

    for (const auto& pair : { Pair { "stereo pair", true, true }, Pair { "two instances", false, false },
                              Pair { "same side, same settings", true, false } })
    {
        EngineTestRig first (false), second (pair.secondIsRight);
        ScalarOndulaOracle firstOracle (first.mappings, false, 48000.0f);
        ScalarOndulaOracle secondOracle (second.mappings, pair.secondIsRight, 48000.0f);

        if (! pair.sameSettings)
            second.set ("automation_frequency", "value", 0.7);

        for (int b = 0; b < 120; ++b)
        {
            applyScenarioStep (first, firstOracle, b, 120);
            applyScenarioStep (second, secondOracle, b, 120);

            for (auto* side : { &first, &second })
            {
                auto& oracle = side == &first ? firstOracle : secondOracle;
                auto block = noiseBlock (64, 500u + (unsigned) b, 2.0f);
                auto expected = block;
                oracle.process (expected.data(), 64, side->engine->currentSettings(), side->engine->hostTime.load());
                side->process (block);

                for (int i = 0; i < 64; ++i)
                    ASSERT_EQ (block[(size_t) i], expected[(size_t) i]) << pair.name << (side == &first ? ", first" : ", second")
                                                                         << " engine, block " << b << " sample " << i;
            }
        }
    }
}
} // namespace
