#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <vector>

/** The host's calls for the play command, parsed from text: one step per line or between ';',
    '#' starting a comment. Positions and lengths are in samples.

        idle CALLS BLOCK POS          stopped, every call reporting POS; silent, output dropped
        preroll SAMPLES POS           one playing call reporting POS; silent, output dropped
        play FROM SAMPLES BLOCKS      playing from FROM, each call at its own position; recorded
        speed FROM SAMPLES BLOCKS SPEED  playing, each call at FROM + round (SPEED x samples
                                      rendered so far); live input; recorded
        stopped SAMPLES BLOCKS [POS]  stopped, every call reporting POS (0); live input; recorded
        noposition SAMPLES BLOCKS     as stopped, without a process context; recorded
        call SAMPLES POS              one playing call telling the plug-in SAMPLES (negative, or
                                      beyond the host's buffers, too); silent, output dropped
        point ID POS VALUE            a parameter point at timeline sample POS (play steps)
        ramp ID POS1 POS2 V1 V2 EVERY points every EVERY samples from POS1 to POS2, linear values
        queue ID CLAIMED [OFFSET VALUE]...  a queue of its own in the next call, claiming CLAIMED
                                      points and holding those given, as written
        ramp-queue ID POINTS V1 V2    a queue of its own in the next call with a point at every
                                      offset from 0 to POINTS - 1, values from V1 to V2
        queues CLAIMED null|same      the next call's list claims CLAIMED queues; beyond those it
                                      holds it hands none, or its last one again
        call64 SAMPLES POS            one playing call with 64-bit buffers; refused or not, the run
                                      goes on
        edit ID VALUE                 a host-side edit between calls
        reactivate [RATE] [offline|realtime]  processing stopped, deactivated, set up anew and
                                      activated again between calls
        wait MS                       the audio thread sleeps between calls

    Positions may be negative (before the timeline's start). BLOCKS is one size or a
    comma-separated list used in a cycle; a list ending in "..." keeps its last size once reached
    ("32,1024..." is 32 once and then 1024). */
class PlaySteps
{
public:
    struct BlockSizes
    {
        std::vector<int> sizes;
        bool lastRepeats = false;

        /** The size of the call with this index within its step. */
        int size (size_t call) const;
    };

    struct Step
    {
        enum class Kind { idle, preroll, play, speed, stopped, noposition, call, call64, queue, rampQueue, queues, edit, reactivate, wait };
        enum class Mode { unchanged, offline, realtime };

        struct QueuePoint
        {
            int offset;
            double value;
        };

        Kind kind = Kind::idle;
        juce::int64 position = 0; // reported (idle, preroll, stopped, call) or first (play, speed)
        juce::int64 samples = 0;  // preroll, play, speed, stopped, noposition, call (may be negative), call64
        juce::int64 calls = 0;    // idle
        BlockSizes blocks;        // idle (one size), play, speed, stopped, noposition
        juce::String parameter;   // edit, queue
        double value = 0.0;       // edit; the speed of speed; the rate of reactivate (0: unchanged); ramp-queue's V1
        double lastValue = 0.0;   // ramp-queue's V2
        Mode mode = Mode::unchanged;      // reactivate
        juce::int64 claimed = 0;          // queue, queues; ramp-queue's POINTS
        bool repeatLast = false;          // queues: "same"
        std::vector<QueuePoint> queuePoints; // queue
        int milliseconds = 0;     // wait

        bool isRecorded() const { return kind == Kind::play || kind == Kind::speed || kind == Kind::stopped || kind == Kind::noposition; }
    };

    struct Point
    {
        juce::int64 position;
        double value;
    };

    /** False with the reason when a step is malformed; steps parsed before stay. */
    bool parse (const juce::String& text, juce::String& error);

    /** The longest call any step makes. */
    int largestCall() const;

    /** The samples the recorded steps add up to. */
    juce::int64 recordedSamples() const;

    std::vector<Step> steps;
    /** Per parameter ID, in ascending position; a later point at a position replaces an earlier. */
    std::map<juce::String, std::vector<Point>> points;
};
