#include "processor/HostAutomation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void HostAutomation::beginCall() noexcept
{
    // A queue that no block took: its last value is owed to the next piece.
    for (auto& line : lines)
        if (line.hasQueue)
        {
            line.hasQueue = false;
            line.owed = line.end != line.handedOn;
        }

    active = 0;

    for (const auto& line : lines)
        active += line.owed ? 1 : 0;

    takeControllerEdits();
}

void HostAutomation::addPoint (int parameter, int sampleOffset, float value, float parameterValue) noexcept
{
    if (parameter < 0 || parameter >= numParameters)
        return; // the client's own bypass, or a parameter this plug-in does not have

    auto& line = lines[(size_t) parameter];
    value = std::isnan (value) ? 0.0f : std::clamp (value, 0.0f, 1.0f);

    if (! line.hasQueue)
    {
        // The line starts where the parameter stands. Unless a value is still owed, that is also
        // what the first value handed on must differ from: what the parameter shows, whoever set it.
        line.hasQueue = true;
        line.count = 0;
        line.start = std::isnan (parameterValue) ? 0.0f : parameterValue;

        if (! line.owed)
        {
            line.handedOn = line.start;
            ++active;
        }
    }

    // Offsets run up the queue; one that runs back is taken as the one before it.
    const int floor = line.count > 0 ? line.points[(size_t) line.count - 1].offset : 0;
    const Point point { std::max (floor, sampleOffset), value };

    if (line.count < maxPoints)
        line.points[(size_t) line.count++] = point;
    else
        line.points[(size_t) maxPoints - 1] = point;

    line.end = value;
}

float HostAutomation::Line::valueAt (int offset) const noexcept
{
    // The last point at or before the offset; before the first, the parameter holds its value.
    int i = count - 1;

    while (i >= 0 && points[(size_t) i].offset > offset)
        --i;

    if (i < 0)
        return start;

    if (i == count - 1)
        return points[(size_t) i].value;

    const auto& a = points[(size_t) i];
    const auto& b = points[(size_t) i + 1];
    const double along = (double) (offset - a.offset) / (double) (b.offset - a.offset);
    return (float) ((double) a.value + ((double) b.value - (double) a.value) * along);
}

void HostAutomation::endBlock() noexcept
{
    active = 0;

    for (auto& line : lines)
    {
        if (line.hasQueue)
        {
            line.hasQueue = false;
            line.owed = line.end != line.handedOn;
        }

        active += line.owed ? 1 : 0;
    }
}

void HostAutomation::controllerEdit (int parameter, float value) noexcept
{
    if (parameter < 0 || parameter >= numParameters || std::isnan (value))
        return;

    // Only the latest edit matters; the count tells the audio thread that one came.
    auto& slot = controllerEdits[(size_t) parameter];
    const auto count = (uint32_t) (slot.load (std::memory_order_relaxed) >> 32) + 1u;
    uint32_t bits;
    std::memcpy (&bits, &value, sizeof bits);
    slot.store (((uint64_t) count << 32) | bits, std::memory_order_release);
}

void HostAutomation::takeControllerEdits() noexcept
{
    for (int p = 0; p < numParameters; ++p)
    {
        auto& line = lines[(size_t) p];
        float value;

        if (! takeControllerEdit (p, value))
            continue;

        line.end = value;
        active += line.owed || line.hasQueue ? 0 : 1;
        line.owed = true;
        line.edited = true;
    }
}

bool HostAutomation::takeControllerEdit (int parameter, float& value) noexcept
{
    const auto word = controllerEdits[(size_t) parameter].load (std::memory_order_acquire);
    const auto count = (uint32_t) (word >> 32);

    if (count == controllerEditsTaken[(size_t) parameter])
        return false;

    controllerEditsTaken[(size_t) parameter] = count;
    const auto bits = (uint32_t) word;
    std::memcpy (&value, &bits, sizeof value);
    value = std::clamp (value, 0.0f, 1.0f);
    return true;
}
