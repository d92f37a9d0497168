#include "engine/TreeOrHostValue.h"

#include "engine/HostValueEcho.h"

#include <cmath>
#include <cstring>

uint64_t TreeOrHostValue::pack (uint32_t count, float value) noexcept
{
    uint32_t bits;
    std::memcpy (&bits, &value, sizeof bits);
    return ((uint64_t) count << 32) | bits;
}

float TreeOrHostValue::valueOf (uint64_t word) noexcept
{
    const auto bits = (uint32_t) word;
    float value;
    std::memcpy (&value, &bits, sizeof value);
    return value;
}

void TreeOrHostValue::takeFromTree (float value) noexcept
{
    // Bit for bit, so that a signed zero or a re-announced value compares as what it is.
    if (std::memcmp (&held, &value, sizeof value) == 0)
        return;

    held = value;

    if (! HostValueEcho::isActive())
        store (value);
}

void TreeOrHostValue::store (float value) noexcept
{
    // Only the tree's thread writes this word, so reading it first and then storing loses nothing.
    held = value;
    const auto count = countOf (tree.load (std::memory_order_relaxed)) + 1u;
    tree.store (pack (count, value), std::memory_order_release);
}

void TreeOrHostValue::takeFromHost (float value) noexcept
{
    if (! std::isfinite (value))
        return;

    // It stands against the tree's edits made so far: a later edit of the tree's own wins.
    host = value;
    hostEdits = countOf (tree.load (std::memory_order_acquire));
    hostSet = true;
    hostShown.store (pack (hostEdits, value), std::memory_order_release);
}

float TreeOrHostValue::played() noexcept
{
    const auto word = tree.load (std::memory_order_acquire);

    if (hostSet && hostEdits != countOf (word))
        hostSet = false;

    return hostSet ? host : valueOf (word);
}

float TreeOrHostValue::playedNow() const noexcept
{
    const auto word = tree.load (std::memory_order_acquire);
    const auto shown = hostShown.load (std::memory_order_acquire);

    if (! std::isnan (valueOf (shown)) && countOf (shown) == countOf (word))
        return valueOf (shown);

    return valueOf (word);
}
