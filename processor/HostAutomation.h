#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

/** A host's parameter changes on their way to the control pieces that take them.

    Each process call brings, per parameter, a queue of points (sample offset, normalised value),
    read as the host's automation line: the parameter holds its value until the first point, moves
    linearly from point to point, and holds the last one. The processor asks for the line's value
    at every control piece that starts in the block; a value is handed on only where it differs
    from the last one handed on (or, at a new queue, from the parameter's own value before it), so a
    host that keeps sending a parameter's value never replaces what only the tree can hold. A line
    whose last point falls after the block's last piece takes effect at the next block's first.
    Edits the host makes through the edit controller come in on the host's thread and are taken at
    the next control piece.

    Audio thread, apart from controllerEdit(). No allocation: every point has its place. */
class HostAutomation
{
public:
    static constexpr int numParameters = 30;
    // Points kept per parameter and call; beyond it a point takes the last one's place, so the
    // line's last value is never lost.
    static constexpr int maxPoints = 256;

    /** A process call's queues begin. Queues of an earlier call that no block took (a call that
        only flushed parameters, or a bypassed block) leave their last values to the next piece,
        and so do the controller edits made before the call. */
    void beginCall() noexcept;

    /** One point of a parameter's queue, in the queue's order; `parameterValue` is the parameter's
        value before this call's queue. */
    void addPoint (int parameter, int sampleOffset, float value, float parameterValue) noexcept;

    /** Any thread: the host set a parameter through the edit controller. */
    void controllerEdit (int parameter, float value) noexcept;

    /** Takes the controller edits since they were last taken: each is owed to the next control
        piece, like a line's last value, unless a queue of this call takes its place. The parameter
        already stands at the edit, so the next value is handed on even when it equals it. */
    void takeControllerEdits() noexcept;

    /** True when some line may hand on a value in this block. */
    bool anyActive() const noexcept { return active > 0; }

    /** Hands on every line's value at a control piece starting at `offset` of the block, where it
        differs from the last one handed on: apply (parameter, value). */
    template <typename Apply>
    void valuesAt (int offset, Apply&& apply) noexcept
    {
        for (int p = 0; p < numParameters; ++p)
        {
            auto& line = lines[(std::size_t) p];

            if (! line.hasQueue && ! line.owed)
                continue;

            const float value = line.hasQueue ? line.valueAt (offset) : line.end;
            line.owed = false;

            if (value != line.handedOn || line.edited)
            {
                line.handedOn = value;
                line.edited = false;
                apply (p, value);
            }
        }
    }

    /** The block is done: lines whose last value was not handed on owe it to the next piece. */
    void endBlock() noexcept;

private:
    struct Point
    {
        int offset = 0;
        float value = 0.0f;
    };

    struct Line
    {
        std::array<Point, maxPoints> points {};
        int count = 0;
        float start = 0.0f;    // the parameter's value before this call's queue
        float end = 0.0f;      // the line's value after its last point
        float handedOn = 0.0f; // the value last handed on, or the one the next must differ from
        bool hasQueue = false; // this call brought a queue
        bool owed = false;     // `end` is still to be handed on
        bool edited = false;   // a controller edit moved the parameter: hand on what stands, even if equal

        float valueAt (int offset) const noexcept;
    };

    bool takeControllerEdit (int parameter, float& value) noexcept;

    std::array<Line, numParameters> lines {};
    int active = 0; // lines with a queue or owing their end

    // Written by the host's thread (the value's bits and a count of edits, in one word), read by
    // the audio thread.
    std::array<std::atomic<uint64_t>, numParameters> controllerEdits {};
    std::array<uint32_t, numParameters> controllerEditsTaken {};
};
