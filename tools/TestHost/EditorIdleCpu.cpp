#include "EditorIdleCpu.h"

#include "TestHost.h"

#if JUCE_LINUX || JUCE_MAC || JUCE_BSD
 #include <sys/resource.h>
 #include <time.h>
#endif

namespace
{
struct CpuSeconds
{
    double thread = -1.0, process = -1.0; // negative where the platform gives no figure
};

CpuSeconds now()
{
    CpuSeconds s;
   #if JUCE_LINUX || JUCE_MAC || JUCE_BSD
    timespec t {};
    if (clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t) == 0)
        s.thread = (double) t.tv_sec + 1e-9 * (double) t.tv_nsec;

    rusage usage {};
    if (getrusage (RUSAGE_SELF, &usage) == 0)
        s.process = (double) (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                  + 1e-6 * (double) (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
   #endif
    return s;
}

juce::String percent (double used, double wall)
{
    return used < 0.0 ? juce::String ("n/a") : juce::String (100.0 * used / wall, 2) + "%";
}
} // namespace

void EditorIdleCpu::measure (const juce::String& label, int seconds)
{
    const auto before = now();
    const auto start = juce::Time::getMillisecondCounterHiRes();
    TestHost::pumpMessages (seconds * 1000);
    const auto wall = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
    const auto after = now();

    const auto used = [] (double a, double b) { return a < 0.0 || b < 0.0 ? -1.0 : b - a; };
    TestHost::print ("idleCpu." + label + ".seconds=" + juce::String (wall, 1));
    TestHost::print ("idleCpu." + label + ".messageThread=" + percent (used (before.thread, after.thread), wall));
    TestHost::print ("idleCpu." + label + ".process=" + percent (used (before.process, after.process), wall));
}
