#include "processor/SettingRange.h"

#include "processor/StateBlockReader.h"

#include <cmath>

std::optional<SettingRange::Kind> SettingRange::of (const juce::Identifier& nodeType, const juce::Identifier& property)
{
    static const juce::Identifier curve ("curve"), patternL ("pattern_l"), patternR ("pattern_r"),
        scaleY ("scale_y"), timeMode ("time_mode"), patternMode ("pattern_mode"), top ("top");

    // The root holds the name and the marks that every load rewrites; curves and patterns are texts.
    if (nodeType == top || property == curve || property == patternL || property == patternR)
        return std::nullopt;

    if (property == timeMode || property == patternMode)
        return Kind::mode;

    return property == scaleY ? Kind::signedUnit : Kind::unit;
}

bool SettingRange::isDecimalNumber (const juce::String& text)
{
    auto p = text.getCharPointer().findEndOfWhitespace();

    if (*p == '+' || *p == '-')
        ++p;

    int digits = 0;

    for (; p.isDigit(); ++p)
        ++digits;

    if (*p == '.')
        for (++p; p.isDigit(); ++p)
            ++digits;

    if (digits == 0)
        return false;

    if (*p == 'e' || *p == 'E')
    {
        ++p;

        if (*p == '+' || *p == '-')
            ++p;

        if (! p.isDigit())
            return false;

        while (p.isDigit())
            ++p;
    }

    return p.findEndOfWhitespace().isEmpty();
}

std::optional<juce::var> SettingRange::normalised (Kind kind, const juce::var& loaded)
{
    double value = 0.0;

    if (loaded.isString())
    {
        if (! isDecimalNumber (loaded.toString()))
            return std::nullopt;

        // Read as every consumer reads it, an exponent too long for the framework's reader first cut.
        value = StateBlockReader::withReadableNumber (loaded).toString().getDoubleValue();
    }
    else if (loaded.isInt() || loaded.isInt64() || loaded.isDouble() || loaded.isBool())
    {
        value = (double) loaded;
    }
    else
    {
        return std::nullopt;
    }

    if (! std::isfinite (value))
        return std::nullopt;

    const double lowest = kind == Kind::signedUnit ? -1.0 : 0.0;
    const double highest = kind == Kind::mode ? 2.0 : 1.0;

    if (kind == Kind::mode)
    {
        // The host's mode parameter rounds to the nearest whole mode; the readers truncate. A
        // whole number is the one value on which they all agree.
        const auto mode = std::round (juce::jlimit (lowest, highest, value));
        return mode == value ? loaded : juce::var ((int) mode);
    }

    if (value < lowest || value > highest)
        return juce::var (juce::jlimit (lowest, highest, value));

    return loaded;
}
