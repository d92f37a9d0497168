#include "processor/ParameterMappingFunctions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
struct SyncState
{
    bool sync;
    bool triplet;
};

void setTimeSync (ParameterMappingFunctions& m, SyncState s)
{
    m.tempoSync = s.sync;
    m.triplet = s.triplet;
}

void setVelocitySync (ParameterMappingFunctions& m, SyncState s)
{
    m.velocitySync = s.sync;
    m.velocityTriplet = s.triplet;
}
} // namespace

TEST (ParameterMappingFunctions, NoteIndexFollowsTheRowBoundariesAndStaysInsideTheTables)
{
    ParameterMappingFunctions m;
    const struct { float v; int index; } cases[] = {
        { 0.0f, 0 }, { 0.1123f, 0 }, { 0.1124f, 1 }, { 0.5f, 4 }, { 0.8988f, 7 }, { 0.8989f, 8 },
        { 1.0f, 8 }, { 1.02f, 8 }, { 50.0f, 8 }, { -0.5f, 0 }, { -1.0e9f, 0 },
        { std::numeric_limits<float>::quiet_NaN(), 0 }, { std::numeric_limits<float>::infinity(), 8 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (m.note_index (c.v), c.index) << "v = " << c.v;
}

TEST (ParameterMappingFunctions, DelayTimeUnitFollowsTempoSyncAndTriplets)
{
    ParameterMappingFunctions m;
    EXPECT_EQ (m.secondsPerBeat.load(), 0.5f);

    EXPECT_NEAR (m.time_unit_seconds (0.0f), 0.01f, 1e-7f);
    EXPECT_NEAR (m.time_unit_seconds (0.5f), 0.141421f, 1e-5f);
    EXPECT_NEAR (m.time_unit_seconds (1.0f), 2.0f, 1e-5f);

    setTimeSync (m, { true, false });
    EXPECT_EQ (m.time_unit_seconds (0.5f), 0.5f);
    EXPECT_EQ (m.time_unit_seconds (1.0f), 8.0f);

    setTimeSync (m, { true, true });
    EXPECT_EQ (m.time_unit_seconds (0.5f), 0.33333334f);

    m.secondsPerBeat = 0.25f; // 240 bpm
    EXPECT_EQ (m.time_unit_seconds (0.5f), (0.25f + 0.25f) / 3.0f);
}

TEST (ParameterMappingFunctions, TimeTextsShowUnitsOrNoteNames)
{
    ParameterMappingFunctions m;
    const struct { float v; const char* text; } freeCases[] = {
        { 0.0f, "10.0ms" }, { 0.25f, "37.6ms" }, { 0.5f, "141ms" }, { 0.75f, "532ms" }, { 1.0f, "2.0s" },
    };

    for (const auto& c : freeCases)
        EXPECT_EQ (m.time_string (c.v), c.text);

    setTimeSync (m, { true, false });
    EXPECT_EQ (m.time_string (0.5f), "1/4");
    EXPECT_EQ (m.time_string (1.0f), "4");
    EXPECT_EQ (m.time_string (0.0f), "1/64");

    setTimeSync (m, { true, true });
    EXPECT_EQ (m.time_string (0.5f), "1/4t");
}

TEST (ParameterMappingFunctions, VelocityFollowsTempoSyncAndTriplets)
{
    ParameterMappingFunctions m;
    EXPECT_NEAR (m.velocity_hz (0.0f), 0.0f, 1e-7f);
    EXPECT_NEAR (m.velocity_hz (0.5f), 1.158f, 1e-3f);
    EXPECT_NEAR (m.velocity_hz (1.0f), 5.0f, 1e-5f);

    setVelocitySync (m, { true, false });
    EXPECT_EQ (m.velocity_hz (0.0f), 0.0f);
    EXPECT_EQ (m.velocity_hz (1.0f), 8.0f);
    EXPECT_EQ (m.velocity_string (0.0f), "inf");
    EXPECT_EQ (m.velocity_string (1.0f), "1/16");

    setVelocitySync (m, { true, true });
    EXPECT_EQ (m.velocity_hz (1.0f), 12.0f);
    EXPECT_EQ (m.velocity_string (1.0f), "1/16t");
}

TEST (ParameterMappingFunctions, FreeVelocityTextIsClampedAndShowsTwoDecimalsBelowOneHertz)
{
    ParameterMappingFunctions m;
    const struct { float v; const char* text; } cases[] = {
        { 0.0f, "0.00Hz" }, { 0.25f, "0.41Hz" }, { 0.5f, "1.2Hz" }, { 0.75f, "2.5Hz" }, { 1.0f, "5.0Hz" },
        { 2.0f, "10.0Hz" }, { -1.0f, "0.00Hz" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (m.velocity_string (c.v), c.text) << "v = " << c.v;
}

TEST (ParameterMappingFunctions, WavelengthThresholdAndSlopeMappings)
{
    ParameterMappingFunctions m;
    EXPECT_NEAR (m.wavelength_value (0.0f), 0.1f, 1e-6f);
    EXPECT_NEAR (m.wavelength_value (0.5f), 0.5475f, 1e-3f);
    EXPECT_NEAR (m.wavelength_value (1.0f), 5.0f, 1e-4f);

    EXPECT_EQ (m.threshold_db (1.0f), 0.0f);
    EXPECT_EQ (m.threshold_db (0.25f), -45.0f);
    EXPECT_EQ (m.threshold_db (0.0f), -60.0f);
    EXPECT_EQ (m.slope_value (0.75f), 0.5f);
    EXPECT_EQ (m.slope_value (0.0f), -1.0f);
    EXPECT_EQ (m.slope_value (1.0f), 1.0f);
}

TEST (ParameterMappingFunctions, PercentTextRoundsHalvesToEvenAndKeepsTheSign)
{
    ParameterMappingFunctions m;
    const struct { float v; const char* text; } cases[] = {
        { 0.5f, "50%" }, { 0.125f, "12%" }, { 0.375f, "38%" }, { 0.999f, "100%" },
        { -0.5f, "-50%" }, { -0.004f, "-0%" }, { -0.0001f, "-0%" }, { 0.0f, "0%" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (m.percent_string (c.v), c.text) << "v = " << c.v;
}
