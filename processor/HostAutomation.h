#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

/** A host's parameter changes on their way to the control pieces that take them.

    Each process call brings, per parameter, a queue of points (sample offset, normalised value),
    read as the host's automation line: the parameter holds its value until the first point, moves
    linearly from point to point, and holds the last one. Where the call's control pieces start is
    known when it begins, so the line's value at each of them is worked out as the points stream
    in, whatever their number: nothing but those values is kept. The processor asks for them at
    every control piece it renders; a value is handed on only where it differs from the last one
    handed on (or, at a new queue, from the parameter's own value before it), so a host that keeps
    sending a parameter's value never replaces what only the tree can hold. A line whose last point
    falls after the block's last piece takes effect at the next block's first. Edits the host makes
    through the edit controller come in on the host's thread and are taken at the next control
    piece. A loaded state drops every value still owed from before it.

    Audio thread, apart from prepare(), controllerEdit() and stateLoads(). No allocation on the
    audio thread. */
class HostAutomation
{
public:
    static constexpr int numParameters = 30;

    HostAutomation();

    /** Outside processing: room for the values of calls of up to `maxPieces` control pieces.
        The pieces of a longer call beyond that take its lines' last values. */
    void prepare (int maxPieces);

    /** A process call's queues begin. Its control pieces start at `firstPiece` and every
        `pieceLength` samples after it, before `numSamples`. Queues of an earlier call that no block
        took (a call that only flushed parameters, or a bypassed block) leave their last values to
        the next piece, and so do the controller edits made before the call. */
    void beginCall (int firstPiece, int pieceLength, int numSamples) noexcept;

    /** One point of a parameter's queue, in the queue's order; `parameterValue()` gives the
        parameter's value before this call's queue (asked once per queue). */
    template <typename ParameterValue>
    void addPoint (int parameter, int sampleOffset, float value, ParameterValue&& parameterValue) noexcept
    {
        if (parameter < 0 || parameter >= numParameters)
            return; // the client's own bypass, or a parameter this plug-in does not have

        auto& line = lines[(std::size_t) parameter];

        if (! line.hasQueue)
            startQueue (parameter, parameterValue());

        // Offsets run up the queue; one that runs back is taken as the one before it. Most points
        // of a dense line pass no slot: they only move the line's end.
        const int offset = sampleOffset > line.lastOffset ? sampleOffset : line.lastOffset;
        value = sanitised (value);

        if (offset > line.nextSlot)
            workOutSlotsBefore (parameter, offset, value);

        line.lastOffset = offset;
        line.end = value;
        line.hasPoint = true;
    }

    /** Any thread: the host set a parameter through the edit controller. */
    void controllerEdit (int parameter, float value) noexcept;

    /** The tree's thread, as a state loads, before the tree takes it: every value the host sent
        before the load and the audio thread has not yet handed on is dropped (controller edits,
        lines' last values owed to the next piece, the current call's queues). */
    void stateLoads() noexcept;

    /** A block begins: takes a state load and the controller edits made since the last block. */
    void beginBlock() noexcept
    {
        takeStateLoads();
        takeControllerEdits();
    }

    /** True when some line may hand on a value in this block. */
    bool anyActive() const noexcept { return activeLines != 0; }

    /** Hands on every line's value at a control piece starting at `offset` of the call, where it
        differs from the last one handed on: apply (parameter, value). An offset that is not one of
        the call's pieces (a block processed without a call's beginning) takes the lines' last
        values. */
    template <typename Apply>
    void valuesAt (int offset, Apply&& apply) noexcept
    {
        takeStateLoads();
        const int slot = slotAt (offset);

        for (int p = 0; p < numParameters && activeLines != 0; ++p)
        {
            const auto bit = 1u << p;

            if ((activeLines & bit) == 0)
                continue;

            auto& line = lines[(std::size_t) p];
            const float value = line.hasQueue && slot < line.evaluated ? values[(std::size_t) (p * slotCapacity + slot)] : line.end;
            line.owed = false;

            if (value != line.handedOn || line.edited)
            {
                line.handedOn = value;
                line.edited = false;
                apply (p, value);
            }

            if (! line.hasQueue)
                activeLines &= ~bit;
        }
    }

    /** The block is done: lines whose last value was not handed on owe it to the next piece. */
    void endBlock() noexcept;

private:
    /** A host's normalised value held to 0..1; NaN lands on 0. */
    static float sanitised (float value) noexcept { return value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f; }

    struct Line
    {
        float start = 0.0f;    // the parameter's value before this call's queue
        float end = 0.0f;      // the line's value after its last point
        float handedOn = 0.0f; // the value last handed on, or the one the next must differ from
        int lastOffset = 0;    // the last point's offset: the earliest the next may take
        int evaluated = 0;     // this call's slots whose value is worked out
        int nextSlot = 0;      // the offset of the first slot not worked out, or past every offset
        bool hasQueue = false; // this call brought a queue
        bool hasPoint = false; // ... with at least one point
        bool owed = false;     // `end` is still to be handed on
        bool edited = false;   // a controller edit moved the parameter: hand on what stands, even if equal
    };

    /** The slot of a call offset: 0 for the call's start, 1 + k for its k-th control piece; for an
        offset that is neither, one past every slot. */
    int slotAt (int offset) const noexcept;
    int slotOffset (int slot) const noexcept { return slot == 0 ? 0 : firstPiece + (slot - 1) * pieceLength; }

    void startQueue (int parameter, float parameterValue) noexcept;
    void workOutSlotsBefore (int parameter, int offset, float value) noexcept;
    void endQueues() noexcept;
    void takeControllerEdits() noexcept;

    void takeStateLoads() noexcept
    {
        const auto loaded = loads.load (std::memory_order_acquire);

        if (loaded != loadsSeen)
        {
            loadsSeen = loaded;
            dropPendingValues();
        }
    }

    void dropPendingValues() noexcept;

    std::array<Line, numParameters> lines {};
    uint32_t activeLines = 0; // a bit per line with a queue or owing its end

    // Sized by prepare (outside processing); the audio thread writes and reads it. Slot s of
    // parameter p: the line's value at the call's start (s = 0) or at its piece s - 1.
    std::unique_ptr<float[]> values;
    int slotCapacity = 1;

    // The current call's pieces (audio thread).
    int firstPiece = 0, pieceLength = 1, slotCount = 0;

    // Per parameter, the latest controller edit: its value's bits, a count of edits and, in bit 32,
    // whether a state loaded after it, in one word. Written by the host's thread (and the loading
    // thread's mark), read by the audio thread; release/acquire, so the value comes with its count.
    std::array<std::atomic<uint64_t>, numParameters> controllerEdits {};
    std::array<uint32_t, numParameters> controllerEditsTaken {}; // audio thread

    // Bumped after every controller edit (release, after its word); the audio thread reads the
    // words only when it moved, so a call with no edits costs one load.
    std::atomic<uint32_t> editsMade { 0 };
    uint32_t editsSeen = 0; // audio thread

    // Bumped by the tree's thread at every state load (release, after the edits' marks); read by
    // the audio thread, which then drops what it still owes.
    std::atomic<uint32_t> loads { 0 };
    uint32_t loadsSeen = 0; // audio thread
};
