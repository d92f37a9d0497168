#include "RenderTimer.h"

#include "TestHost.h"

void RenderTimer::report (long long samples, double sampleRate) const
{
    const double seconds = std::chrono::duration<double> (spent).count();
    const double audio = (double) samples / sampleRate;

    TestHost::print ("render.seconds=" + juce::String (seconds, 6));
    TestHost::print ("render.realtime=" + juce::String (seconds > 0.0 ? audio / seconds : 0.0, 1));
}
