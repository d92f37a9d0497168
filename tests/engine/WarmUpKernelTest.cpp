// The warm-up of the records on every code path against the plain rendering, bit for bit, with
// inputs far from the defaults: the engine's oracle tests reach it only through the settings.

#include "engine/WarmUpKernel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

namespace
{
using Path = TapLaneKernel::Path;

struct Setup
{
    WarmUpKernel::Inputs inputs {};
    std::vector<float> turns;
};

/** Inputs drawn at random from the whole ranges the engine hands over, with the special values
    the kernel tells apart (no depth, no weight on a base, shared and private angles, taps off). */
Setup randomSetup (unsigned seed, int pieces, bool right)
{
    std::mt19937 random (seed);
    const auto uniform = [&random] (float lo, float hi) { return std::uniform_real_distribution<float> (lo, hi) (random); };
    const auto chance = [&random] (double p) { return std::bernoulli_distribution (p) (random); };

    Setup s;
    auto& in = s.inputs;
    in.firstPieceStart = -123456789;
    in.pieceLength = 512;
    in.pieces = pieces;
    in.sampleRate = 48000;
    in.cyclesPerSecond = 1.7f;

    for (int p = 0; p < WarmUpKernel::numWaves; ++p)
    {
        in.source[p] = p >= 2 && chance (0.5) ? (int32_t) (random() % (unsigned) p) : p;
        in.halfScale[p] = chance (0.2) ? 0.0f : uniform (0.0f, 0.5f);

        for (int t = 0; t < WarmUpKernel::numTaps; ++t)
        {
            in.wanted[p][t] = in.source[p] == p && chance (0.9) ? 1 : 0;
            in.angle[p][t] = in.wanted[p][t] != 0 ? uniform (-80.0f, 80.0f) : 0.0f;
        }
    }

    in.delayScale = uniform (0.0f, 1.0f);

    for (int t = 0; t < WarmUpKernel::numTaps; ++t)
    {
        in.depth[t] = chance (0.2) ? 0.0f : uniform (0.0f, 300000.0f);
        in.baseDelay[t] = chance (0.1) ? 6144000.0f : uniform (0.0f, 200000.0f);
        in.enabled[t] = chance (0.7) ? 1 : 0;

        for (int q = 0; q < 4; ++q)
        {
            in.weight[q][t] = chance (0.25) ? 0.0f : uniform (0.0f, 1.0f);
            in.base[q][t] = chance (0.1) ? 0.0f : uniform (-0.2f, 1.2f);
        }
    }

    in.rightChannel = right ? 1 : 0;

    for (int k = 0; k < pieces; ++k)
        s.turns.push_back (k == 0 ? 0.0f : k == 1 ? 0.99999994f : uniform (0.0f, 1.0f));

    return s;
}

WarmUpKernel::Records run (Path path, const Setup& s)
{
    WarmUpKernel::Records records {};
    const WarmUpKernel::Job job { &s.inputs, s.turns.data(), &records };
    WarmUpKernel::run (path, &job, 1);
    return records;
}

bool sameBits (const WarmUpKernel::Records& a, const WarmUpKernel::Records& b)
{
    return std::memcmp (&a, &b, sizeof (a)) == 0;
}

TEST (WarmUpKernel, EveryPathGivesThePlainRenderingsRecordsBitForBit)
{
    for (const auto& [seed, pieces, right] : { std::make_tuple (1u, 199, false), std::make_tuple (2u, 199, true),
                                               std::make_tuple (3u, 1, false), std::make_tuple (4u, 37, true),
                                               std::make_tuple (5u, WarmUpKernel::maxPieces, false) })
    {
        const auto setup = randomSetup (seed, pieces, right);
        const auto reference = run (Path::portable, setup);

        // Sanity: the records moved away from zero.
        float gains = 0.0f;

        for (float g : reference.gain)
            gains += g;

        EXPECT_GT (gains, 0.0f) << "seed " << seed;

        for (auto path : { Path::scalar, Path::ssse3, Path::sse4, Path::avx2, Path::avx512, Path::neon, Path::automatic })
        {
            if (! TapLaneKernel::isAvailable (path))
                continue;

            EXPECT_TRUE (sameBits (run (path, setup), reference)) << TapLaneKernel::name (path) << ", seed " << seed;
        }
    }
}

TEST (WarmUpKernel, APairSharingItsWaveGetsTheRecordsEachWouldGetAlone)
{
    // The two channels of a pair differ only in their pan laws and switched taps: they are worked
    // out in one pass, which must give what two passes give.
    auto left = randomSetup (7u, 199, false);
    auto right = left;
    right.inputs.rightChannel = 1;

    for (int t = 0; t < WarmUpKernel::numTaps; ++t)
        right.inputs.enabled[t] = (uint8_t) (t % 3 != 0);

    for (auto path : { Path::portable, Path::automatic })
    {
        WarmUpKernel::Records together[2] {};
        const WarmUpKernel::Job jobs[2] { { &left.inputs, left.turns.data(), &together[0] },
                                          { &right.inputs, right.turns.data(), &together[1] } };
        WarmUpKernel::run (path, jobs, 2);

        EXPECT_TRUE (sameBits (together[0], run (path, left))) << TapLaneKernel::name (path);
        EXPECT_TRUE (sameBits (together[1], run (path, right))) << TapLaneKernel::name (path);
        EXPECT_FALSE (sameBits (together[0], together[1])) << "the pan laws differ";
    }
}
} // namespace
