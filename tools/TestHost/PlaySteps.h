#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <vector>

/** The host's calls for the play command, parsed from text: one step per line or between ';',
    '#' starting a comment. Positions and lengths are in samples.

        idle CALLS BLOCK POS          stopped, every call reporting POS; silent, output dropped
        preroll SAMPLES POS           one playing call reporting POS; silent, output dropped
        play FROM SAMPLES BLOCKS      playing from FROM, each call at its own position; recorded
        stopped SAMPLES BLOCKS [POS]  stopped, every call reporting POS (0); live input; recorded
        noposition SAMPLES BLOCKS     as stopped, without a process context; recorded
        point ID POS VALUE            a parameter point at timeline sample POS (play steps)
        ramp ID POS1 POS2 V1 V2 EVERY points every EVERY samples from POS1 to POS2, linear values
        edit ID VALUE                 a host-side edit between calls
        wait MS                       the audio thread sleeps between calls

    BLOCKS is one size or a comma-separated list used in a cycle; a list ending in "..." keeps
    its last size once reached ("32,1024..." is 32 once and then 1024). */
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
        enum class Kind { idle, preroll, play, stopped, noposition, edit, wait };

        Kind kind = Kind::idle;
        juce::int64 position = 0; // reported (idle, preroll, stopped) or first (play)
        juce::int64 samples = 0;  // preroll, play, stopped, noposition
        juce::int64 calls = 0;    // idle
        BlockSizes blocks;        // idle (one size), play, stopped, noposition
        juce::String parameter;   // edit
        double value = 0.0;       // edit
        int milliseconds = 0;     // wait

        bool isRecorded() const { return kind == Kind::play || kind == Kind::stopped || kind == Kind::noposition; }
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
