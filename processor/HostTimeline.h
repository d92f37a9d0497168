#pragma once

#include <cstdint>

/** Decides, call by call, how the audio objects follow a host's timeline.

    Playing, the engines follow the host's position in samples and count the samples they render
    in between; what a call reports is read against that count and against the calls before it:

    - the count continued (within one sample: some hosts derive the position from musical time
      and round): count on. A one-sample offset that persists over several calls is a real shift
      and is taken up with a move, unless the host has lately been seen rounding both ways (then
      a run of one way is chance). After a move the count may stand a sample off the host's own,
      since the move took a rounded report: while every report since it lies within one sample
      of one place, the count is kept;
    - a transport start, a jump back (a loop, scrubbing), a jump forward, or the first calls that
      report the same place again (a pre-roll reported at the range start): a move;
    - the position advancing steadily at a speed other than 1 (varispeed, shuttle): motion. The
      wave follows the host's position, interpolated over the call at the measured speed, while the
      control pieces go on over the rendered samples, so a speed sounds the same at every block
      size; back at speed 1 the engines take up the timeline again;
    - the position standing still call after call (a play head that never advances): counted on,
      so that neither the wave nor the compressor freezes.

    Stopped, or with no position, the engines count on from where they are.

    A decision is made when a call begins and taken when its block is rendered (a bypassed call
    never is); the state moves on only when it is taken. Audio thread. */
class HostTimeline
{
public:
    /** What a call reports of the host's transport. */
    struct Report
    {
        bool playing = false;
        bool hasPosition = false;
        int64_t position = 0; // samples; held within +-limit
        int length = 0;       // samples in the call
    };

    enum class Action
    {
        countOn, // the engines go on from where they are, the wave with the rendered samples
        follow,  // the host continued the count
        move,    // the engines take up `position`
        motion   // the wave follows the host at `speed`, from `position` at the call's first sample
    };

    struct State
    {
        bool following = false;   // the last call played with a position, and was taken
        bool unsettled = true;    // nothing taken since the audio objects were prepared
        bool inMotion = false;    // the wave follows the host's motion rather than the count
        int64_t lastPosition = 0; // what the last call reported
        int lastLength = 0;       // its length
        double lastSpeed = 1.0;   // the speed from the call before it to it
        int repeats = 0;          // calls in a row that reported the position of the call before, held at standingRepeats
        int offsetCalls = 0;      // calls in a row reported one sample off the count, the same way, held at persistentOffsetCalls
        int offsetSign = 0;
        int offsetLow = 0;        // the lowest and highest offset from the count reported since the last move
        int offsetHigh = 0;
        int lastOffsetSign = 0;   // the sign of the last offset that was not 0
        int callsSinceRoundingBothWays = roundingMemory; // held at roundingMemory: not lately
    };

    struct Step
    {
        Action action = Action::countOn;
        int64_t position = 0;
        double speed = 1.0;
        State next;
    };

    /** Reported positions are held within this many samples of 0 (the engines' own limit), so
        the difference of any two stays far inside 64 bits. */
    static constexpr int64_t limit = (int64_t) 1 << 60;

    /** A reported position within this many samples of the count continues it. */
    static constexpr int64_t tolerance = 1;

    /** A one-sample offset reported this many calls in a row is taken up. */
    static constexpr int persistentOffsetCalls = 4;

    /** A host seen rounding both ways within this many calls is taken to round still. */
    static constexpr int roundingMemory = 256;

    /** The same position reported this many calls after a call at it is a play head that does
        not advance; fewer repeats each take the position up again. */
    static constexpr int standingRepeats = 4;

    /** The call's step, with `counted` the position the engines would render next. */
    Step decide (const Report& report, int64_t counted) const noexcept;

    /** Moves the state on as the step says. */
    void take (const Step& step) noexcept { state = step.next; }

    /** After the audio objects are prepared: the next call takes up the timeline afresh. */
    void unsettle() noexcept;

    const State& current() const noexcept { return state; }

private:
    State state;
};
