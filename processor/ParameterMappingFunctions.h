#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <string>

/** The shared tempo context and the mappings from normalised settings to units and value texts.
    Owned by the processor; the engines, panels and graphs evaluate the same mappings so that the
    sound and the pictures agree. */
class ParameterMappingFunctions
{
public:
    ParameterMappingFunctions() = default;

    // Written by processBlock/prepareToPlay (audio thread), read by the engines and the panels.
    std::atomic<float> secondsPerBeat { 0.5f };
    // Written by the engines' settings handlers (message thread), read by the block code and panels.
    std::atomic<bool> tempoSync { false };
    std::atomic<bool> triplet { false };
    std::atomic<bool> velocitySync { false };
    std::atomic<bool> velocityTriplet { false };

    const float beatsForNote[9] { 0.0625f, 0.125f, 0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f };
    const float cyclesPerBeat[9] { 0.0f, 0.03125f, 0.0625f, 0.125f, 0.25f, 0.5f, 1.0f, 2.0f, 4.0f };
    const std::array<std::string, 9> noteNames { "1/64", "1/32", "1/16", "1/8", "1/4", "1/2", "1", "2", "4" };
    const std::array<std::string, 9> periodNames { "inf", "8", "4", "2", "1", "1/2", "1/4", "1/8", "1/16" };

    /** Row of the note and period tables for a normalised value; values outside 0..1 (and NaN)
        are held to the nine rows. */
    int note_index (float v) const noexcept;

    float time_unit_seconds (float v) const noexcept;
    float wavelength_value (float w) const noexcept;
    float velocity_hz (float v) const noexcept;

    /** The same for a given mode (0 free, 1 synced, 2 synced triplet; any other non-zero mode is
        synced) instead of the flags: each engine plays the mode its own settings hold. */
    float time_unit_seconds (float v, int mode) const noexcept;
    float velocity_hz (float v, int mode) const noexcept;
    float threshold_db (float v) const noexcept;
    float slope_value (float v) const noexcept;

    std::string percent_string (float v) const;
    std::string time_string (float v) const;
    std::string velocity_string (float v) const;

    /** The same texts for a given mode (0 free, 1 synced, 2 synced triplet) instead of the
        engines' flags: a panel shows the mode its node holds, whether or not the engines, which
        hear the same change, have set the flags yet. */
    std::string time_string (float v, int mode) const;
    std::string velocity_string (float v, int mode) const;

    /** The values a fader can take: its range and the step its values snap to. */
    struct FaderGrid
    {
        double minimum = 0.0;
        double maximum = 1.0;
        double interval = 0.0001;
    };

    /** The inverses of the texts above, for a value typed into a fader's text box. Each gives the
        value of the grid whose text is the one typed, or the nearest value when the typed figure
        falls between two texts, and nothing when the text reads as no value. `current` is the
        fader's value: a bare number is read in the unit its text shows, and a note or period name
        keeps it where it is when it already stands in that name's row. */
    std::optional<double> percent_value (const std::string& text, FaderGrid grid) const;
    std::optional<double> time_value (const std::string& text, int mode, double current, FaderGrid grid) const;
    std::optional<double> velocity_value (const std::string& text, int mode, double current, FaderGrid grid) const;

private:
    static float freeTimeUnit (float v) noexcept;
    static float freeVelocity (float v) noexcept;

    static std::string freeTimeText (float seconds);
    static std::string freeRateText (float hz);

    std::optional<double> rowValue (const std::array<std::string, 9>& names, const std::string& text, double current, FaderGrid grid) const;
};
