#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

// The processor's parameter container starts a framework timer, so the framework is initialised
// for the whole run.
int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
