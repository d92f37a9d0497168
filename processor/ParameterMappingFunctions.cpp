#include "processor/ParameterMappingFunctions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace
{
constexpr auto relaxed = std::memory_order_relaxed;

float powerOfTen (float a) noexcept { return std::pow (10.0f, a); }
} // namespace

int ParameterMappingFunctions::note_index (float v) const noexcept
{
    const float scaled = v * 8.9f;

    if (! (scaled > 0.0f)) // also catches NaN
        return 0;

    if (scaled >= 8.0f)
        return 8;

    return static_cast<int> (scaled);
}

float ParameterMappingFunctions::freeTimeUnit (float v) noexcept
{
    // 2.30103 = log10 (200): 0.01 s * 200^v
    const float product = v * 2.30103f;
    return powerOfTen (product - 2.0f);
}

float ParameterMappingFunctions::freeVelocity (float v) noexcept
{
    // 1.0413927 = log10 (11), 0.30103 = log10 (2): 0.5 * 11^v - 0.5
    const float product = v * 1.0413927f;
    return powerOfTen (product - 0.30103f) - 0.5f;
}

float ParameterMappingFunctions::time_unit_seconds (float v) const noexcept
{
    return time_unit_seconds (v, tempoSync.load (relaxed) ? (triplet.load (relaxed) ? 2 : 1) : 0);
}

float ParameterMappingFunctions::time_unit_seconds (float v, int mode) const noexcept
{
    if (mode != 0)
    {
        float t = secondsPerBeat.load (relaxed) * beatsForNote[note_index (v)];

        if (mode == 2)
            t = (t + t) / 3.0f;

        return t;
    }

    return freeTimeUnit (v);
}

float ParameterMappingFunctions::wavelength_value (float w) const noexcept
{
    // 1.9956353 ~ log10 (99), 1.30103 ~ log10 (20): 0.05 * 99^w + 0.05
    const float product = w * 1.9956353f;
    return powerOfTen (product - 1.30103f) + 0.05f;
}

float ParameterMappingFunctions::velocity_hz (float v) const noexcept
{
    return velocity_hz (v, velocitySync.load (relaxed) ? (velocityTriplet.load (relaxed) ? 2 : 1) : 0);
}

float ParameterMappingFunctions::velocity_hz (float v, int mode) const noexcept
{
    if (mode != 0)
    {
        float f = cyclesPerBeat[note_index (v)] / secondsPerBeat.load (relaxed);

        if (mode == 2)
            f = f * 3.0f * 0.5f;

        return f;
    }

    return freeVelocity (v);
}

float ParameterMappingFunctions::threshold_db (float v) const noexcept
{
    return v * 60.0f - 60.0f;
}

float ParameterMappingFunctions::slope_value (float v) const noexcept
{
    return (v + v) - 1.0f;
}

std::string ParameterMappingFunctions::freeTimeText (float t)
{
    std::ostringstream out;
    out << std::fixed;

    if (t >= 1.0f)
        out << std::setprecision (1) << t << "s";
    else if ((double) t >= 0.1)
        out << std::setprecision (0) << t * 1000.0f << "ms";
    else
        out << std::setprecision (1) << t * 1000.0f << "ms";

    return out.str();
}

std::string ParameterMappingFunctions::freeRateText (float f)
{
    f = f < 0.0f ? 0.0f : (f > 10.0f ? 10.0f : f);

    std::ostringstream out;
    out << std::fixed << std::setprecision (f >= 1.0f ? 1 : 2) << f << "Hz";
    return out.str();
}

std::string ParameterMappingFunctions::percent_string (float v) const
{
    const float percent = v * 100.0f;
    std::ostringstream out;
    out << std::fixed << std::setprecision (0) << percent << "%";
    return out.str();
}

namespace
{
int modeOf (bool sync, bool triplet) noexcept { return sync ? (triplet ? 2 : 1) : 0; }
} // namespace

std::string ParameterMappingFunctions::time_string (float v) const
{
    return time_string (v, modeOf (tempoSync.load (relaxed), triplet.load (relaxed)));
}

std::string ParameterMappingFunctions::velocity_string (float v) const
{
    return velocity_string (v, modeOf (velocitySync.load (relaxed), velocityTriplet.load (relaxed)));
}

std::string ParameterMappingFunctions::time_string (float v, int mode) const
{
    if (mode != 0)
        return noteNames[(size_t) note_index (v)] + (mode == 2 ? "t" : "");

    return freeTimeText (freeTimeUnit (v));
}

std::string ParameterMappingFunctions::velocity_string (float v, int mode) const
{
    if (mode != 0)
        return periodNames[(size_t) note_index (v)] + (mode == 2 ? "t" : "");

    return freeRateText (freeVelocity (v));
}

//==================================================================================================
namespace
{
/** A typed figure and the unit written after it, as "-12.5 ms" gives -12.5 and "ms". */
struct Figure
{
    double number = 0.0;
    std::string digits; // the figure as typed, with a decimal point for a comma and no plus sign
    std::string unit;   // lower case, without blanks

    /** The figure spelt as a box spells it with that unit, such as "-12.5ms". */
    std::string spelt (const std::string& boxUnit) const { return digits + boxUnit; }
};

std::string lowerCaseTrimmed (const std::string& text)
{
    const auto isBlank = [] (char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    size_t begin = 0, end = text.size();

    while (begin < end && isBlank (text[begin]))
        ++begin;

    while (end > begin && isBlank (text[end - 1]))
        --end;

    std::string out;

    for (size_t i = begin; i < end; ++i)
        out += (char) std::tolower ((unsigned char) text[i]);

    return out;
}

/** A sign, digits with at most one decimal point or comma, then blanks and a unit. Exponents,
    "inf" and "nan" are no figures a box shows, so they do not read as one. */
std::optional<Figure> readFigure (const std::string& typed)
{
    const auto text = lowerCaseTrimmed (typed);
    size_t i = 0;
    std::string digits;

    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        digits += text[i++];

    bool point = false, anyDigit = false;

    for (; i < text.size(); ++i)
    {
        const char c = text[i];

        if (c >= '0' && c <= '9')
        {
            digits += c;
            anyDigit = true;
        }
        else if ((c == '.' || c == ',') && ! point)
        {
            digits += '.';
            point = true;
        }
        else
        {
            break;
        }
    }

    if (! anyDigit)
        return std::nullopt;

    Figure figure;
    std::istringstream in (digits);
    in.imbue (std::locale::classic());
    in >> figure.number;

    if (in.fail() || ! std::isfinite (figure.number))
        return std::nullopt;

    figure.digits = digits[0] == '+' ? digits.substr (1) : digits;

    figure.unit = lowerCaseTrimmed (text.substr (i));
    return figure;
}

/** The grid as indices 0..count; value (i) is what the fader's own snapping makes of it. */
struct Steps
{
    explicit Steps (ParameterMappingFunctions::FaderGrid g)
        : grid (g),
          interval (g.interval > 0.0 ? g.interval : (g.maximum - g.minimum) / 10000.0),
          count (interval > 0.0 && g.maximum > g.minimum ? (long) std::floor ((g.maximum - g.minimum) / interval + 0.5) : 0) {}

    double value (long i) const { return std::min (grid.maximum, grid.minimum + interval * (double) i); }

    /** The first index at which `reached` holds, count + 1 when it never does; `reached` must turn
        from false to true at most once along the grid. */
    template <typename Predicate>
    long first (Predicate reached) const
    {
        long lo = 0, hi = count + 1;

        while (lo < hi)
        {
            const long mid = lo + (hi - lo) / 2;

            if (reached (mid))
                hi = mid;
            else
                lo = mid + 1;
        }

        return lo;
    }

    ParameterMappingFunctions::FaderGrid grid;
    double interval;
    long count;
};

/** The grid value whose unit, by the rising mapping `unitOf`, lies nearest to the target; among
    values a few steps round it, one whose text is `wanted` (the figure as typed, spelt as the box
    spells it) is preferred, so that a text the box shows lands on a value that shows exactly it. */
template <typename UnitOf, typename TextOf>
double nearestValue (const Steps& steps, double target, UnitOf unitOf, TextOf textOf, const std::string& wanted)
{
    const long above = std::min (steps.count, steps.first ([&] (long i) { return unitOf (steps.value (i)) >= target; }));
    long best = above;

    if (above > 0 && std::abs (unitOf (steps.value (above - 1)) - target) <= std::abs (unitOf (steps.value (above)) - target))
        best = above - 1;

    if (textOf (steps.value (best)) == wanted)
        return steps.value (best);

    // Near a text's edge the nearest value may round to its neighbour's text; each text spans at
    // least one step of the grid, so a short search round it finds the one typed when it exists.
    constexpr long reach = 64;

    for (long k = 1; k <= reach; ++k)
        for (const long i : { best - k, best + k })
            if (i >= 0 && i <= steps.count && textOf (steps.value (i)) == wanted)
                return steps.value (i);

    return steps.value (best);
}
} // namespace

std::optional<double> ParameterMappingFunctions::percent_value (const std::string& text, FaderGrid grid) const
{
    const auto figure = readFigure (text);

    if (! figure || ! (figure->unit.empty() || figure->unit == "%"))
        return std::nullopt;

    const Steps steps (grid);
    return nearestValue (steps, figure->number,
                         [] (double v) { return (double) ((float) v * 100.0f); },
                         [this] (double v) { return percent_string ((float) v); },
                         figure->spelt ("%"));
}

std::optional<double> ParameterMappingFunctions::time_value (const std::string& text, int mode, double current, FaderGrid grid) const
{
    if (mode != 0)
        return rowValue (noteNames, text, current, grid);

    const auto figure = readFigure (text);

    if (! figure)
        return std::nullopt;

    // A bare number is in the unit the box shows now.
    const auto unit = figure->unit.empty() ? (freeTimeUnit ((float) current) >= 1.0f ? "s" : "ms") : figure->unit;

    if (unit != "s" && unit != "ms")
        return std::nullopt;

    const double seconds = unit == "ms" ? figure->number / 1000.0 : figure->number;
    const Steps steps (grid);
    return nearestValue (steps, seconds,
                         [] (double v) { return (double) freeTimeUnit ((float) v); },
                         [] (double v) { return freeTimeText (freeTimeUnit ((float) v)); },
                         figure->spelt (unit));
}

std::optional<double> ParameterMappingFunctions::velocity_value (const std::string& text, int mode, double current, FaderGrid grid) const
{
    if (mode != 0)
        return rowValue (periodNames, text, current, grid);

    const auto figure = readFigure (text);

    if (! figure || ! (figure->unit.empty() || figure->unit == "hz"))
        return std::nullopt;

    const Steps steps (grid);
    return nearestValue (steps, figure->number,
                         [] (double v) { return (double) freeVelocity ((float) v); },
                         [] (double v) { return freeRateText (freeVelocity ((float) v)); },
                         figure->spelt ("Hz"));
}

std::optional<double> ParameterMappingFunctions::rowValue (const std::array<std::string, 9>& names, const std::string& text,
                                                          double current, FaderGrid grid) const
{
    auto name = lowerCaseTrimmed (text);

    // The triplet mark selects nothing of its own: the mode decides whether the row plays triplets.
    if (! name.empty() && name.back() == 't')
        name = lowerCaseTrimmed (name.substr (0, name.size() - 1));

    int row = -1;

    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            row = (int) i;

    if (row < 0)
        return std::nullopt;

    if (note_index ((float) current) == row)
        return current;

    // The middle of the row, where the fader stands clear of both neighbours.
    const Steps steps (grid);
    const long first = steps.first ([&] (long i) { return note_index ((float) steps.value (i)) >= row; });
    const long last = steps.first ([&] (long i) { return note_index ((float) steps.value (i)) > row; }) - 1;

    if (first > last) // the grid holds no value of that row
        return std::nullopt;

    return steps.value (first + (last - first) / 2);
}
