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

namespace
{
using Grid = ParameterMappingFunctions::FaderGrid;
constexpr Grid unipolar { 0.0, 1.0, 0.0001 };
constexpr Grid bipolar { -1.0, 1.0, 0.0001 };

// What a fader's box shows and what it reads back, for one kind of fader and mode.
struct FaderKind
{
    const char* name;
    Grid grid;
    std::function<std::string (const ParameterMappingFunctions&, double)> show;
    std::function<std::optional<double> (const ParameterMappingFunctions&, const std::string&, double current)> read;
};

std::vector<FaderKind> faderKinds()
{
    std::vector<FaderKind> kinds {
        { "percent", unipolar, [] (auto& m, double v) { return m.percent_string ((float) v); },
          [] (auto& m, const std::string& t, double) { return m.percent_value (t, unipolar); } },
        { "signed percent", bipolar, [] (auto& m, double v) { return m.percent_string ((float) v); },
          [] (auto& m, const std::string& t, double) { return m.percent_value (t, bipolar); } },
    };

    for (int mode = 0; mode < 3; ++mode)
    {
        kinds.push_back ({ mode == 0 ? "free time" : mode == 1 ? "note" : "triplet note", unipolar,
                           [mode] (auto& m, double v) { return m.time_string ((float) v, mode); },
                           [mode] (auto& m, const std::string& t, double current) { return m.time_value (t, mode, current, unipolar); } });
        kinds.push_back ({ mode == 0 ? "free rate" : mode == 1 ? "period" : "triplet period", unipolar,
                           [mode] (auto& m, double v) { return m.velocity_string ((float) v, mode); },
                           [mode] (auto& m, const std::string& t, double current) { return m.velocity_value (t, mode, current, unipolar); } });
    }

    return kinds;
}

const FaderKind& kind (const std::vector<FaderKind>& kinds, const std::string& name)
{
    for (const auto& k : kinds)
        if (k.name == name)
            return k;

    throw std::invalid_argument (name);
}
} // namespace

TEST (ParameterMappingFunctions, EveryTextAFaderShowsReadsBackToAValueShowingThatText)
{
    ParameterMappingFunctions m;

    for (const auto& k : faderKinds())
    {
        SCOPED_TRACE (k.name);
        const long steps = std::lround ((k.grid.maximum - k.grid.minimum) / k.grid.interval);
        int failures = 0;

        for (long i = 0; i <= steps && failures < 5; ++i)
        {
            const double v = k.grid.minimum + k.grid.interval * (double) i;
            const auto shown = k.show (m, v);

            // From elsewhere on the fader, and from the value itself: a name of the row the
            // fader stands in leaves it there.
            for (const double current : { k.grid.minimum, v })
            {
                const auto read = k.read (m, shown, current);

                if (! read || k.show (m, *read) != shown)
                {
                    ADD_FAILURE() << shown << " (v = " << v << ") read back as " << (read ? k.show (m, *read) : "nothing");
                    ++failures;
                }
                else if (current == v && std::string (k.name).find ("percent") == std::string::npos
                         && std::string (k.name).find ("free") == std::string::npos)
                {
                    EXPECT_EQ (*read, v) << shown;
                }
            }
        }
    }
}

TEST (ParameterMappingFunctions, TypedTextIsReadOnTheScaleItsBoxShows)
{
    ParameterMappingFunctions m;
    const auto kinds = faderKinds();

    struct Case
    {
        const char* kind;
        const char* typed;
        double current;
        const char* shownAfter; // nullptr: the text reads as no value
    };

    const Case cases[] = {
        // Percentages, with or without the sign, blanks around it, a decimal comma.
        { "percent", "40", 0.2, "40%" }, { "percent", "40%", 0.2, "40%" }, { "percent", " 40 % ", 0.2, "40%" },
        { "percent", "+40", 0.2, "40%" }, { "percent", "12,5", 0.2, "12%" }, { "percent", "0.4", 0.2, "0%" },
        { "percent", "150%", 0.2, "100%" }, { "percent", "-25%", 0.2, "0%" },
        { "signed percent", "-25%", 0.3, "-25%" }, { "signed percent", "-25", 0.3, "-25%" }, { "signed percent", "-0%", 0.3, "-0%" },
        { "signed percent", "-250 %", 0.3, "-100%" },
        { "percent", "", 0.2, nullptr }, { "percent", "%", 0.2, nullptr }, { "percent", "forty", 0.2, nullptr },
        { "percent", "40%x", 0.2, nullptr }, { "percent", "40 ms", 0.2, nullptr }, { "percent", "1e2", 0.2, nullptr },
        { "percent", "inf", 0.2, nullptr }, { "percent", "nan", 0.2, nullptr }, { "percent", "4.0.1", 0.2, nullptr },

        // Free delay time: a bare number is in the unit the box shows (ms at 0.5, s at 1).
        { "free time", "141ms", 0.0, "141ms" }, { "free time", "141 MS", 0.0, "141ms" }, { "free time", "141", 0.5, "141ms" },
        { "free time", "1.2s", 0.5, "1.2s" }, { "free time", "1.2", 1.0, "1.2s" }, { "free time", "500", 1.0, "2.0s" },
        { "free time", "500ms", 1.0, "500ms" }, { "free time", "37.6ms", 0.5, "37.6ms" }, { "free time", "1 s", 0.5, "1.0s" },
        { "free time", "0", 0.5, "10.0ms" }, { "free time", "-5ms", 0.5, "10.0ms" },
        { "free time", "1/4", 0.5, nullptr }, { "free time", "1.2Hz", 0.5, nullptr }, { "free time", "ms", 0.5, nullptr },

        // Note names select their row; a "t" that does not match the mode is ignored.
        { "note", "1/8", 0.5, "1/8" }, { "note", "1/8t", 0.5, "1/8" }, { "triplet note", "1/8", 0.5, "1/8t" },
        { "triplet note", "1/8T", 0.5, "1/8t" }, { "note", "4", 0.0, "4" }, { "note", " 1/64 ", 1.0, "1/64" },
        { "note", "1/128", 0.5, nullptr }, { "note", "141ms", 0.5, nullptr }, { "note", "t", 0.5, nullptr }, { "note", "1/4tt", 0.5, nullptr },

        // Rates in Hz, bare or with the unit; periods by name.
        { "free rate", "1.2Hz", 0.0, "1.2Hz" }, { "free rate", "1.2", 0.0, "1.2Hz" }, { "free rate", "0.41 hz", 0.0, "0.41Hz" },
        { "free rate", "7Hz", 0.0, "5.0Hz" }, { "free rate", "0", 0.5, "0.00Hz" },
        { "free rate", "1/4", 0.0, nullptr }, { "free rate", "1.2 kHz", 0.0, nullptr },
        { "period", "inf", 0.5, "inf" }, { "period", "INFt", 0.5, "inf" }, { "period", "1/16", 0.5, "1/16" },
        { "period", "8", 0.5, "8" }, { "triplet period", "2", 0.5, "2t" }, { "period", "16", 0.5, nullptr },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.kind) + " \"" + c.typed + "\"");
        const auto& k = kind (kinds, c.kind);
        const auto read = k.read (m, c.typed, c.current);

        if (c.shownAfter == nullptr)
        {
            EXPECT_FALSE (read.has_value()) << k.show (m, *read);
            continue;
        }

        ASSERT_TRUE (read.has_value());
        EXPECT_EQ (k.show (m, *read), c.shownAfter);
        EXPECT_GE (*read, k.grid.minimum);
        EXPECT_LE (*read, k.grid.maximum);
        EXPECT_NEAR (*read * 10000.0, std::round (*read * 10000.0), 1.0e-6) << "a value of the grid";
    }
}

TEST (ParameterMappingFunctions, ANameOutsideTheFadersRowLandsInTheMiddleOfItsRow)
{
    ParameterMappingFunctions m;

    for (int row = 0; row < 9; ++row)
    {
        SCOPED_TRACE (m.noteNames[(size_t) row]);
        const double elsewhere = row == 4 ? 0.0 : 0.5;
        const auto v = m.time_value (m.noteNames[(size_t) row], 1, elsewhere, unipolar);
        ASSERT_TRUE (v.has_value());
        EXPECT_EQ (m.note_index ((float) *v), row);

        // Clear of both neighbours: the row's edges lie about equally far away.
        const double lower = row / 8.9, upper = std::min (1.0, (row + 1) / 8.9);
        EXPECT_NEAR (*v, 0.5 * (lower + upper), 0.0002);
    }
}
