#include "processor/HostAutomation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
// A controller edit's word: the value's bits, a mark in bit 32 that a state loaded after it, and
// a count of edits above.
constexpr uint64_t loadedAfter = 1ull << 32;
constexpr int countShift = 33;
} // namespace

HostAutomation::HostAutomation()
{
    prepare (0);
}

void HostAutomation::prepare (int maxPieces)
{
    // Slot 0 is the call's start, where a move of the timeline takes the lines.
    const int capacity = 1 + std::max (0, maxPieces);
    values = std::make_unique<float[]> ((size_t) capacity * numParameters);
    slotCapacity = capacity;
    slotCount = 0;

    for (auto& line : lines)
    {
        line.evaluated = 0;
        line.nextSlot = std::numeric_limits<int>::max();
    }
}

void HostAutomation::beginCall (int firstPieceOffset, int length, int numSamples) noexcept
{
    endQueues();

    firstPiece = std::max (0, firstPieceOffset);
    pieceLength = std::max (1, length);
    const int64_t pieces = numSamples > firstPiece ? ((int64_t) numSamples - firstPiece + pieceLength - 1) / pieceLength : 0;
    slotCount = numSamples > 0 ? (int) std::min<int64_t> (slotCapacity, 1 + pieces) : 0;

    beginBlock();
}

int HostAutomation::slotAt (int offset) const noexcept
{
    constexpr int none = std::numeric_limits<int>::max();

    if (offset == 0)
        return 0;

    if (offset < firstPiece)
        return none;

    const int into = offset - firstPiece;
    return into % pieceLength == 0 ? 1 + into / pieceLength : none;
}

void HostAutomation::startQueue (int parameter, float parameterValue) noexcept
{
    // A state loaded since the call began: what came before it is dropped before this queue starts.
    takeStateLoads();

    // The line starts where the parameter stands. Unless a value is still owed, that is also what
    // the first value handed on must differ from: what the parameter shows, whoever set it.
    auto& line = lines[(size_t) parameter];
    line.hasQueue = true;
    line.hasPoint = false;
    line.lastOffset = 0;
    line.evaluated = 0;
    line.nextSlot = slotCount > 0 ? 0 : std::numeric_limits<int>::max();
    line.start = std::isnan (parameterValue) ? 0.0f : parameterValue;

    if (! line.owed)
        line.handedOn = line.start;

    activeLines |= 1u << parameter;
}

void HostAutomation::workOutSlotsBefore (int parameter, int offset, float value) noexcept
{
    // The slots before this point lie where the line is now known: before the first point the
    // parameter holds its value; after a point, the line runs straight to this one.
    auto& line = lines[(size_t) parameter];
    float* out = values.get() + (size_t) parameter * (size_t) slotCapacity;

    for (; line.evaluated < slotCount; ++line.evaluated)
    {
        const int at = slotOffset (line.evaluated);

        if (at >= offset)
            break;

        if (! line.hasPoint)
        {
            out[line.evaluated] = line.start;
            continue;
        }

        const double along = (double) (at - line.lastOffset) / (double) (offset - line.lastOffset);
        out[line.evaluated] = (float) ((double) line.end + ((double) value - (double) line.end) * along);
    }

    line.nextSlot = line.evaluated < slotCount ? slotOffset (line.evaluated) : std::numeric_limits<int>::max();
}

void HostAutomation::endQueues() noexcept
{
    for (int p = 0; p < numParameters && activeLines != 0; ++p)
    {
        auto& line = lines[(size_t) p];

        if (line.hasQueue)
        {
            line.hasQueue = false;
            line.owed = line.end != line.handedOn;
        }

        if (! line.owed)
            activeLines &= ~(1u << p);
    }
}

void HostAutomation::endBlock() noexcept
{
    endQueues();
}

void HostAutomation::controllerEdit (int parameter, float value) noexcept
{
    if (parameter < 0 || parameter >= numParameters || std::isnan (value))
        return;

    // Only the latest edit matters; the count tells the audio thread that one came.
    auto& slot = controllerEdits[(size_t) parameter];
    const auto count = (uint32_t) (slot.load (std::memory_order_relaxed) >> countShift) + 1u;
    uint32_t bits;
    std::memcpy (&bits, &value, sizeof bits);
    slot.store (((uint64_t) count << countShift) | bits, std::memory_order_release);
    editsMade.fetch_add (1, std::memory_order_release);
}

void HostAutomation::stateLoads() noexcept
{
    // Edits the audio thread has not taken yet are marked, unless a newer one lands meanwhile;
    // those it took are dropped when it sees the load.
    for (auto& slot : controllerEdits)
    {
        auto word = slot.load (std::memory_order_relaxed);

        while ((word & loadedAfter) == 0
               && ! slot.compare_exchange_weak (word, word | loadedAfter, std::memory_order_release, std::memory_order_relaxed))
        {
        }
    }

    loads.fetch_add (1, std::memory_order_release);
}

void HostAutomation::dropPendingValues() noexcept
{
    for (auto& line : lines)
    {
        line.hasQueue = false;
        line.owed = false;
        line.edited = false;
    }

    activeLines = 0;
}

void HostAutomation::takeControllerEdits() noexcept
{
    const auto made = editsMade.load (std::memory_order_acquire);

    if (made == editsSeen)
        return;

    editsSeen = made;

    for (int p = 0; p < numParameters; ++p)
    {
        const auto word = controllerEdits[(size_t) p].load (std::memory_order_acquire);
        const auto count = (uint32_t) (word >> countShift);

        if (count == controllerEditsTaken[(size_t) p])
            continue;

        controllerEditsTaken[(size_t) p] = count;

        if ((word & loadedAfter) != 0)
            continue;

        const auto bits = (uint32_t) word;
        float value;
        std::memcpy (&value, &bits, sizeof value);

        auto& line = lines[(size_t) p];
        line.end = sanitised (value);
        line.owed = true;
        line.edited = true;
        activeLines |= 1u << p;
    }
}
