#include "processor/ParameterMappingFunctions.h"

#include <cmath>
#include <iomanip>
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
    if (tempoSync.load (relaxed))
    {
        float t = secondsPerBeat.load (relaxed) * beatsForNote[note_index (v)];

        if (triplet.load (relaxed))
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
    if (velocitySync.load (relaxed))
    {
        float f = cyclesPerBeat[note_index (v)] / secondsPerBeat.load (relaxed);

        if (velocityTriplet.load (relaxed))
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

    const float t = freeTimeUnit (v);
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

std::string ParameterMappingFunctions::velocity_string (float v, int mode) const
{
    if (mode != 0)
        return periodNames[(size_t) note_index (v)] + (mode == 2 ? "t" : "");

    float f = freeVelocity (v);
    f = f < 0.0f ? 0.0f : (f > 10.0f ? 10.0f : f);

    std::ostringstream out;
    out << std::fixed << std::setprecision (f >= 1.0f ? 1 : 2) << f << "Hz";
    return out.str();
}
