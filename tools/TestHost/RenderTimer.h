#pragma once

#include <chrono>

/** Times the plug-in's own processing during a render: the processBlock calls on the audio
    thread, added up, against the length of audio they rendered. */
class RenderTimer
{
public:
    void blockStarted() noexcept { started = Clock::now(); }
    void blockFinished() noexcept { spent += Clock::now() - started; }

    /** Prints render.seconds (time spent processing) and render.realtime (seconds of audio per
        second of processing) for the given length of audio. */
    void report (long long samples, double sampleRate) const;

private:
    using Clock = std::chrono::steady_clock;

    Clock::time_point started;
    Clock::duration spent {};
};
