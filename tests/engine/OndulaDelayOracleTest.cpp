// The engine's vector rendering against the plain scalar rendering of the same rules, on every
// code path this processor runs, for one channel alone and for a stereo pair rendered together.

#include "support/EngineTestRig.h"
#include "support/ScalarOndulaOracle.h"
#include "support/StereoEngineRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace
{
using Path = TapLaneKernel::Path;

enum class Layout
{
    left,   // the left engine alone
    right,  // the right engine alone
    stereo  // both, rendered together
};

struct OracleCase
{
    std::string name;
    Layout layout;
    int blockSize;
    int numBlocks;
    Path path;
    double sampleRate = 48000.0;
    int lineStart = 0; // where writing starts; near the end, reads wrap round the line
    bool briefFeedback = false; // a tempo so fast that the feedback returns within a piece
};

void PrintTo (const OracleCase& c, std::ostream* os)
{
    *os << c.name << " on the " << TapLaneKernel::name (c.path) << " path";
}

/** The engines under test, in either layout, with one oracle per engine. */
class Harness
{
public:
    explicit Harness (const OracleCase& c) : rate (c.sampleRate)
    {
        if (c.layout == Layout::stereo)
        {
            pair = std::make_unique<StereoEngineRig> (c.sampleRate, c.blockSize);
            engines = { pair->left.get(), pair->right.get() };
        }
        else
        {
            single = std::make_unique<EngineTestRig> (c.layout == Layout::right, c.sampleRate, c.blockSize);
            engines = { single->engine.get() };
        }

        for (auto* engine : engines)
        {
            engine->setLanePath (c.path);
            engine->moveWritePositionForTesting (c.lineStart);
            oracles.push_back (std::make_unique<ScalarOndulaOracle> (mappings(), engine->isRightChannel, (float) (int) c.sampleRate));
            oracles.back()->moveWritePosition (c.lineStart);
        }
    }

    ParameterMappingFunctions& mappings() { return pair != nullptr ? pair->mappings : single->mappings; }

    void set (const juce::String& node, const juce::String& property, const juce::var& value)
    {
        if (pair != nullptr)
            pair->set (node, property, value);
        else
            single->set (node, property, value);
    }

    /** A relocation of the host's timeline, as the processor hands it on. */
    void moveToTimeline (double seconds) { moveToSample ((long long) std::llround (seconds * rate)); }

    void moveToSample (long long position)
    {
        for (size_t e = 0; e < engines.size(); ++e)
        {
            engines[e]->moveToTimeline (position);
            oracles[e]->moveToTimeline (position);
        }
    }

    void process (std::vector<std::vector<float>>& blocks)
    {
        if (pair != nullptr)
            pair->process (blocks[0], blocks[1]);
        else
            single->process (blocks[0]);
    }

    std::vector<OndulaDelay*> engines;
    std::vector<std::unique_ptr<ScalarOndulaOracle>> oracles;

private:
    double rate;
    std::unique_ptr<StereoEngineRig> pair;
    std::unique_ptr<EngineTestRig> single;
};

/** Moves every setting the block reads at fixed points of the run: the modulation throughout,
    patterns (different on the two sides, then equal), grid, tempo sync (delay and rate), tempo,
    timeline relocations (an hour before 0, 2^40 samples on, just after a piece's start, and back
    to a place moved to before with the same settings) and feedback along the way. */
void applyScenarioStep (Harness& h, int block, int numBlocks)
{
    const auto at = [numBlocks] (int percent) { return numBlocks * percent / 100; };
    const auto patterns = [&h] (const char* left, const char* right)
    {
        h.set ("delay_pattern", "pattern_l", left);
        h.set ("delay_pattern", "pattern_r", right);
    };

    if (block == 0)
    {
        h.set ("delay_globals_ondula", "amount", 0.9);
        h.set ("delay_globals_ondula", "velocity", 0.8);
        h.set ("delay_globals_ondula", "time_mode", 0);
        h.set ("delay_globals_time", "time", 0.0); // feedback returns after 7680 samples
        h.set ("delay_globals_time", "time_mode", 0);
        h.set ("delay_globals_time", "feedback_amplitude", 0.8);
        h.set ("delay_globals_time", "feedback_width", 0.3);
        h.set ("ondula_amplitude", "curve", "0 1 0\n1 0.3 0.5\n");
        h.set ("ondula_pan", "curve", "0 0.2 0\n1 1 0\n");
        h.set ("automation_pan", "scale_y", -0.7);
        h.moveToTimeline (3.25);
    }

    if (block == at (10))
        h.moveToTimeline (-3600.0);
    if (block == at (15))
        patterns ("11111", "0101100001");
    if (block == at (25))
        h.set ("delay_globals_time", "pattern_mode", 1);
    if (block == at (35))
    {
        patterns ("11111111111111111111111111111111", "11111111111111111111111111111111");
        h.set ("delay_globals_time", "time_mode", 2);
        h.set ("delay_globals_time", "time", 0.05);
    }
    if (block == at (40))
        h.moveToSample (1LL << 40);
    if (block == at (45))
    {
        h.set ("delay_globals_ondula", "time_mode", 1);
        h.mappings().secondsPerBeat.store (0.4f);
    }
    if (block == at (50))
        h.moveToSample (1000LL * 512 + 50); // just after a piece's start: the lanes run in across two pieces
    if (block == at (55))
    {
        patterns ("", "1");
        h.mappings().secondsPerBeat.store (0.75f);
    }
    if (block == at (62))
        patterns ("0110x1101001100101", "111100001111000011110000111");
    if (block == at (70))
    {
        h.set ("delay_globals_time", "pattern_mode", 0);
        h.set ("delay_globals_time", "time_mode", 0);
        h.set ("delay_globals_time", "feedback_amplitude", 0.2);
        h.set ("delay_globals_time", "time", 0.02);
        h.set ("automation_frequency", "scale_y", -0.6);
        h.moveToTimeline (100.0);
    }
    if (block == at (78))
        h.moveToTimeline (100.0);
    if (block == at (85))
        h.set ("delay_globals_ondula", "time_mode", 2);
}

/** The first field in which an engine's records differ from its oracle's, or an empty text. */
std::string firstDifference (const OndulaDelay& engine, const ScalarOndulaOracle& oracle)
{
    for (int t = 0; t < 32; ++t)
    {
        const auto& e = engine.tapStates[t];
        const auto& o = oracle.taps[t];
        const std::pair<const char*, bool> fields[] {
            { "delayOndula", e.delayOndula == o.delayOndula }, { "delayBase", e.delayBase == o.delayBase },
            { "frequency", e.frequency == o.frequency }, { "bandwidth", e.bandwidth == o.bandwidth },
            { "amplitude", e.amplitude == o.amplitude }, { "pan", e.pan == o.pan }, { "gain", e.gain == o.gain },
            { "b0", e.b0 == o.b0 }, { "a1", e.a1 == o.a1 }, { "a2", e.a2 == o.a2 }, { "enabled", e.enabled == o.enabled },
        };

        for (const auto& [name, same] : fields)
            if (! same)
                return std::string ("tap ") + std::to_string (t) + " " + name;
    }

    return {};
}

class OndulaDelayMatchesScalarOracle : public testing::TestWithParam<OracleCase>
{
};

TEST_P (OndulaDelayMatchesScalarOracle, SampleForSampleOverManyModulatedBlocks)
{
    const auto& c = GetParam();

    if (! TapLaneKernel::isAvailable (c.path))
        GTEST_SKIP() << TapLaneKernel::name (c.path) << " is not available on this processor";

    Harness h (c);
    const auto channels = h.engines.size();
    int mismatches = 0;
    double energy[2] {};

    for (int b = 0; b < c.numBlocks && mismatches == 0; ++b)
    {
        applyScenarioStep (h, b, c.numBlocks);

        if (c.briefFeedback)
        {
            // A 1/64 note at 20000 bpm: the feedback reads fewer samples back than a piece holds,
            // so it runs before the taps rather than alongside them.
            if (b == 0 || b == c.numBlocks * 70 / 100)
            {
                h.set ("delay_globals_time", "time_mode", 1);
                h.set ("delay_globals_time", "time", 0.0);
            }

            h.mappings().secondsPerBeat.store (0.003f);
        }

        // Louder than full scale, so that the lanes' clamps take part.
        std::vector<std::vector<float>> blocks, expected;

        for (size_t e = 0; e < channels; ++e)
        {
            blocks.push_back (noiseBlock (c.blockSize, 1000u + (unsigned) b + 7919u * (unsigned) e, 3.0f));
            expected.push_back (blocks.back());
            const auto settings = h.engines[e]->currentSettings();
            h.oracles[e]->process (expected[e].data(), c.blockSize, settings);
        }

        h.process (blocks);

        // Every record, after every block: a warm-up's records sound only in part (the delays
        // and gains), and only after two more steps.
        for (size_t e = 0; e < channels; ++e)
        {
            const auto difference = firstDifference (*h.engines[e], *h.oracles[e]);

            if (! difference.empty() && ++mismatches <= 3)
                ADD_FAILURE() << "channel " << e << ", block " << b << ": " << difference << " differs from the oracle's";
        }

        for (size_t e = 0; e < channels; ++e)
            for (int i = 0; i < c.blockSize; ++i)
            {
                energy[e] += (double) blocks[e][(size_t) i] * blocks[e][(size_t) i];

                if (blocks[e][(size_t) i] != expected[e][(size_t) i] && ++mismatches <= 3)
                    ADD_FAILURE() << "channel " << e << ", block " << b << ", sample " << i << ": engine "
                                  << blocks[e][(size_t) i] << ", oracle " << expected[e][(size_t) i];
            }
    }

    EXPECT_EQ (mismatches, 0);

    for (size_t e = 0; e < channels; ++e)
    {
        const auto& engine = *h.engines[e];
        const auto& oracle = *h.oracles[e];
        EXPECT_GT (energy[e], 1.0) << "channel " << e << " should be far from silent";
        EXPECT_EQ (engine.timelinePosition(), oracle.streamPosition);

        for (int t = 0; t < 32; ++t)
        {
            EXPECT_EQ (engine.tapStates[t].delayOndula, oracle.taps[t].delayOndula) << "channel " << e << ", tap " << t;
            EXPECT_EQ (engine.tapStates[t].gain, oracle.taps[t].gain) << "channel " << e << ", tap " << t;
            EXPECT_EQ (engine.tapStates[t].frequency, oracle.taps[t].frequency) << "channel " << e << ", tap " << t;
        }

        EXPECT_EQ (engine.feedbackState.delayOndula, oracle.feedback.delayOndula) << "channel " << e;
    }
}

std::vector<OracleCase> oracleCases()
{
    constexpr int lineSize = TapLaneKernel::lineSize;
    std::vector<OracleCase> cases;

    // Every path, both channels together, at every block size; each run covers about 12000
    // samples or more, so the feedback returns and every scenario step is heard.
    struct Size { const char* name; int blockSize, numBlocks, lineStart; };
    const Size sizes[] = {
        { "Block1", 1, 12000, 0 },
        { "Block7", 7, 2400, 0 },
        { "Block61WrappingLine", 61, 300, lineSize - 9000 },
        { "Block64", 64, 240, 0 },
        { "Block512WrappingLine", 512, 40, lineSize - 12000 },
        { "Block4096", 4096, 12, 0 },
    };

    for (auto path : { Path::portable, Path::scalar, Path::ssse3, Path::sse4, Path::avx2, Path::avx512, Path::neon })
        for (const auto& size : sizes)
            cases.push_back ({ std::string ("Stereo") + size.name, Layout::stereo, size.blockSize, size.numBlocks, path, 48000.0, size.lineStart });

    // One channel alone, as in a mono layout, on the path this processor picks and on the widest
    // forced ones; other rates.
    for (auto path : { Path::automatic, Path::avx2, Path::sse4 })
    {
        cases.push_back ({ "LeftAloneBlock64", Layout::left, 64, 240, path });
        cases.push_back ({ "RightAloneBlock7At96k", Layout::right, 7, 3000, path, 96000.0 });
        cases.push_back ({ "RightAloneBlock61WrappingLineAt44k", Layout::right, 61, 300, path, 44100.0, lineSize - 4000 });
    }

    cases.push_back ({ "StereoBlock64At44k", Layout::stereo, 64, 240, Path::automatic, 44100.0 });

    for (auto path : { Path::automatic, Path::portable })
    {
        cases.push_back ({ "StereoBlock4096BriefFeedbackAt22k", Layout::stereo, 4096, 12, path, 22050.0, 0, true });
        cases.push_back ({ "StereoBlock100BriefFeedback", Layout::stereo, 100, 200, path, 48000.0, 0, true });
    }

    // Blocks longer than a piece, and pieces at the highest rates.
    cases.push_back ({ "StereoBlock8192At384k", Layout::stereo, 8192, 6, Path::automatic, 384000.0 });
    cases.push_back ({ "StereoBlock333At192k", Layout::stereo, 333, 80, Path::automatic, 192000.0 });
    return cases;
}

std::string caseName (const testing::TestParamInfo<OracleCase>& info)
{
    return info.param.name + "_" + TapLaneKernel::name (info.param.path);
}

INSTANTIATE_TEST_SUITE_P (LayoutsBlockSizesAndPaths, OndulaDelayMatchesScalarOracle, testing::ValuesIn (oracleCases()), caseName);
} // namespace

namespace
{
// The engines of one plug-in compute the same tap targets; the second engine of a pair takes the
// first one's results when its inputs are exactly the same, and only then.
TEST (OndulaDelayPairs, EnginesMatchTheirOraclesWhetherTheirSettingsAgreeOrNot)
{
    struct PairCase { const char* name; bool sameSettings; bool together; };

    for (const auto& pc : { PairCase { "one tree, rendered together", true, true },
                            PairCase { "one tree, one after the other", true, false },
                            PairCase { "rendered together, frequencies apart", false, true } })
    {
        StereoEngineRig rig;
        ScalarOndulaOracle leftOracle (rig.mappings, false, 48000.0f), rightOracle (rig.mappings, true, 48000.0f);
        rig.set ("delay_globals_ondula", "amount", 1.0);

        for (int b = 0; b < 120; ++b)
        {
            // Engines bound to different trees aim their taps differently: neither may take the
            // other's targets.
            if (! pc.sameSettings && b == 30)
            {
                auto other = EngineTestRig::defaultTree();
                other.getChildWithName ("automation").getChildWithName ("automation_frequency").setProperty ("value", 0.7, nullptr);
                rig.left->setValueTree (other);
            }

            auto left = noiseBlock (64, 500u + (unsigned) b, 2.0f), right = noiseBlock (64, 900u + (unsigned) b, 2.0f);
            auto expectedLeft = left, expectedRight = right;
            leftOracle.process (expectedLeft.data(), 64, rig.left->currentSettings());
            rightOracle.process (expectedRight.data(), 64, rig.right->currentSettings());

            if (pc.together)
                rig.process (left, right);
            else
                for (auto* side : { &left, &right })
                {
                    float* samples = side->data();
                    juce::dsp::AudioBlock<float> block (&samples, 1, 64);
                    (side == &left ? rig.left : rig.right)->processSIMDSmart (juce::dsp::ProcessContextReplacing<float> (block));
                }

            for (int i = 0; i < 64; ++i)
            {
                ASSERT_EQ (left[(size_t) i], expectedLeft[(size_t) i]) << pc.name << ", left, block " << b << " sample " << i;
                ASSERT_EQ (right[(size_t) i], expectedRight[(size_t) i]) << pc.name << ", right, block " << b << " sample " << i;
            }
        }
    }
}
} // namespace
