#include "engine/IIRFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
TEST (IIRFilter, OneOctaveAroundOneKilohertzHasTheKnownCoefficients)
{
    IIRFilter<float> filter;
    filter.makeBiquadFlatBand (1000.0f, 1.0f);

    EXPECT_NEAR (filter.bNorm[0], 0.0442377f, 1.0e-6f);
    EXPECT_EQ (filter.bNorm[1], 0.0f);
    EXPECT_NEAR (filter.bNorm[2], -0.0442377f, 1.0e-6f);
    EXPECT_EQ (filter.aNorm[0], 1.0f);
    EXPECT_NEAR (filter.aNorm[1], -1.8951713f, 1.0e-6f);
    EXPECT_NEAR (filter.aNorm[2], 0.9115246f, 1.0e-6f);
}

TEST (IIRFilter, BandReachingPastSixteenTimesTheRateIsNarrowedAroundItsLowerEdge)
{
    IIRFilter<float> wide;
    wide.makeBiquadFlatBand (9000.0f, 15.0f);

    // The lower edge (9000 / 2^7.5) stays; the upper edge moves to 768 kHz.
    IIRFilter<float> narrowed;
    narrowed.makeBiquadFlatBand (6179.3f, 13.915f);

    for (int i = 0; i < 3; ++i)
    {
        EXPECT_NEAR (wide.bNorm[i], narrowed.bNorm[i], 2.0e-4f) << i;
        EXPECT_NEAR (wide.aNorm[i], narrowed.aNorm[i], 2.0e-4f) << i;
    }
}

TEST (IIRFilter, DefaultSectionPassesEveryFrequencyUnchanged)
{
    const IIRFilter<double> filter;

    for (double f : { 0.0, 20.0, 1000.0, 12345.0, 24000.0, 47999.0 })
        EXPECT_NEAR (filter.getMagnitude_d (f), 1.0, 1.0e-12) << f << " Hz";
}

TEST (IIRFilter, BandPassPeaksAtItsCentreAndRejectsDcAndNyquist)
{
    struct Case { float rate, centre, octaves; };

    for (const auto& c : { Case { 48000.0f, 1000.0f, 1.0f }, Case { 44100.0f, 300.0f, 5.465f },
                           Case { 96000.0f, 9000.0f, 0.25f }, Case { 48000.0f, 10.0f, 2.0f } })
    {
        IIRFilter<double> filter;
        filter.sampleRate = c.rate;
        filter.makeBiquadFlatBand (c.centre, c.octaves);

        EXPECT_NEAR (filter.getMagnitude_d (c.centre), 1.0, 1.0e-6) << c.centre;
        EXPECT_EQ (filter.getMagnitude_d (0.0), 0.0) << c.centre;
        EXPECT_NEAR (filter.getMagnitude_d (c.rate / 2.0), 0.0, 1.0e-9) << c.centre;
    }
}

TEST (IIRFilter, DesignKeepsTheFilterMemory)
{
    IIRFilter<float> filter;
    filter.x1 = 0.1f; filter.x2 = 0.2f; filter.x3 = 0.3f;
    filter.y1 = -0.1f; filter.y2 = -0.2f; filter.y3 = -0.3f;
    filter.laneY2 = IIRFilter<float>::Lanes::expand (0.7f);

    filter.makeBiquadFlatBand (440.0f, 3.0f);

    EXPECT_EQ (filter.x1, 0.1f); EXPECT_EQ (filter.x2, 0.2f); EXPECT_EQ (filter.x3, 0.3f);
    EXPECT_EQ (filter.y1, -0.1f); EXPECT_EQ (filter.y2, -0.2f); EXPECT_EQ (filter.y3, -0.3f);
    EXPECT_EQ (filter.laneY2.get (3), 0.7f);
    EXPECT_EQ (filter.laneX1.get (0), 0.0f);
}

TEST (IIRFilter, CentresAtOrAboveHalfTheRateStillGiveFiniteStableCoefficients)
{
    // At 18 kHz and below the engine's 9 kHz top centre reaches half the rate.
    for (float rate : { 8000.0f, 11025.0f, 16000.0f, 18000.0f, 20000.0f })
        for (float centre : { 4000.0f, 8999.0f, 9000.0f, 10000.0f })
            for (float octaves : { 0.25f, 1.0f, 5.465f, 15.0f })
            {
                IIRFilter<float> filter;
                filter.sampleRate = rate;
                filter.makeBiquadFlatBand (centre, octaves);

                for (int i = 0; i < 3; ++i)
                {
                    ASSERT_TRUE (std::isfinite (filter.bNorm[i]) && std::isfinite (filter.aNorm[i]))
                        << rate << " Hz rate, " << centre << " Hz, " << octaves << " octaves";
                }

                // Poles on or inside the unit circle.
                EXPECT_LE (std::abs (filter.aNorm[2]), 1.0f) << rate << " " << centre << " " << octaves;
            }
}

TEST (IIRFilter, DesigningManyBandsAtOnceGivesExactlyTheSingleDesigns)
{
    // Bands across the engine's range, bands the upper-edge limit narrows (wide at the top, or
    // at low rates), bands on the limit's rounding boundary and centres the guard moves.
    struct Band { float centre, octaves; };
    std::vector<Band> bands;

    for (float centre : { 10.0f, 47.3f, 300.0f, 1000.0f, 4321.5f, 9000.0f })
        for (float octaves : { 0.25f, 1.0f, 5.465f, 12.6f, 13.9f, 15.0f })
            bands.push_back ({ centre, octaves });

    bands.push_back ({ 6000.0f, 14.0f });   // upper edge exactly 16 x 48 kHz
    bands.push_back ({ 6000.0f, 14.000001f });
    bands.push_back ({ 1.0e-3f, 140.0f });  // a half width beyond the quick bound

    for (float rate : { 8000.0f, 44100.0f, 48000.0f, 192000.0f })
    {
        std::vector<float> centres, widths;

        for (const auto& b : bands)
        {
            centres.push_back (b.centre);
            widths.push_back (b.octaves);
        }

        std::vector<float> numerators (bands.size() * 3), denominators (bands.size() * 3);
        IIRFilter<float>::designFlatBands (centres.data(), widths.data(), (int) bands.size(), rate,
                                           reinterpret_cast<float (*)[3]> (numerators.data()),
                                           reinterpret_cast<float (*)[3]> (denominators.data()));

        for (size_t i = 0; i < bands.size(); ++i)
        {
            IIRFilter<float> single;
            single.sampleRate = rate;
            single.makeBiquadFlatBand (bands[i].centre, bands[i].octaves);

            for (int k = 0; k < 3; ++k)
            {
                // Bit for bit: NaN from a band that breaks the design compares as itself.
                EXPECT_EQ (std::memcmp (&numerators[i * 3 + (size_t) k], &single.bNorm[k], sizeof (float)), 0)
                    << rate << " Hz rate, band " << bands[i].centre << " Hz " << bands[i].octaves << " octaves, b" << k;
                EXPECT_EQ (std::memcmp (&denominators[i * 3 + (size_t) k], &single.aNorm[k], sizeof (float)), 0)
                    << rate << " Hz rate, band " << bands[i].centre << " Hz " << bands[i].octaves << " octaves, a" << k;
            }
        }
    }
}
} // namespace
