#include "engine/TreeOrHostValue.h"

#include "engine/HostValueEcho.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr auto relaxed = std::memory_order_relaxed;
} // namespace

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
    held = value;
    tree.store (value, relaxed);
    edits.fetch_add (1, relaxed);
}

void TreeOrHostValue::takeFromHost (float value) noexcept
{
    if (! std::isfinite (value))
        return;

    // It stands against the tree's edits made so far: a later edit of the tree's own wins.
    host = value;
    hostEdits = edits.load (relaxed);
    hostSet = true;
}

float TreeOrHostValue::played() noexcept
{
    if (hostSet && hostEdits != edits.load (relaxed))
        hostSet = false;

    return hostSet ? host : tree.load (relaxed);
}
