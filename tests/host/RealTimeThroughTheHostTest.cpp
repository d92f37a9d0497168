// The audio thread keeps its rule inside the bundle's process calls, the VST3 client's part
// included: after 50 warm-up calls nothing there allocates, frees or calls the system, and the
// only mutexes it locks are the two engines' own and the client's callback lock. The test host's
// audio-thread probe counts, in host patterns a DAW makes.

#include "HostRunner.h"
#include "support/ParameterTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

namespace
{
using std::to_string;

struct Pattern
{
    const char* name;
    std::string steps, options;
    const char* mainThreadCount = nullptr; // a count the main thread's work must have reached
};

/** Steps for every parameter: `line (id)` each. */
template <typename Line>
std::string forEveryParameter (Line&& line)
{
    std::string steps;

    for (const auto& row : ParameterTable::rows)
        steps += line (std::string (row.id)) + "\n";

    return steps;
}

std::string repeated (int times, const std::function<std::string (int)>& step)
{
    std::string steps;

    for (int i = 0; i < times; ++i)
        steps += step (i) + "\n";

    return steps;
}

// Each pattern holds well over the 50 warm-up calls.
constexpr int warmUpCalls = 50;

// A DAW's automation as one point per block, at the block's last sample, on every parameter.
std::string pointPerBlock (int calls)
{
    const auto end = to_string (calls * 512);
    return forEveryParameter ([&] (const std::string& id) { return "ramp " + id + " 511 " + end + " 0 1 512"; })
         + "play 0 " + end + " 512";
}

// The probe replaces the allocator, which a sanitizer's own excludes: such builds have none.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool probeBuilt = false;
#else
constexpr bool probeBuilt = true;
#endif

void expectRealTimeSafe (const Pattern& pattern)
{
    // The pattern's name as a file name the shell line can quote.
    std::string file = "realtime-";

    for (const char* c = pattern.name; *c != 0; ++c)
        file += std::isalnum ((unsigned char) *c) ? *c : '-';

    const auto result = HostRunner::play (file, pattern.steps,
                                          "--signal noise --seconds 2 --audio-thread-probe " + to_string (warmUpCalls) + " "
                                              + pattern.options);
    ASSERT_EQ (result["result"], "ok") << pattern.name << "\n" << result.output;
    ASSERT_EQ (result["audio.probe"], "available") << pattern.name;
    EXPECT_GE (std::stoll (result["audio.probedCalls"]), 20) << pattern.name;
    EXPECT_EQ (result["audio.allocations"], "0") << pattern.name << "\n" << result.output;
    EXPECT_EQ (result["audio.frees"], "0") << pattern.name;
    EXPECT_EQ (result["audio.systemCalls"], "0") << pattern.name << "\n" << result.output;
    EXPECT_LE (std::stoi (result["audio.mutexes"]), 3) << pattern.name << ": only the engines' and the callback lock";

    if (pattern.mainThreadCount != nullptr)
    {
        EXPECT_GT (std::stoll (result[pattern.mainThreadCount]), 0) << pattern.name << ": the main thread did not work meanwhile";
    }
}
} // namespace

TEST (RealTimeThroughTheHost, PlaybackAndMovesNeitherAllocateNorCallTheSystem)
{
    if (! probeBuilt)
    {
        GTEST_SKIP() << "the test host has no audio-thread probe in a sanitizer build";
    }

    const Pattern patterns[] = {
        { "blocks of 32", "play 0 " + to_string (250 * 32) + " 32", "" },
        { "blocks of 512", "play 0 " + to_string (150 * 512) + " 512", "" },
        { "blocks of 4096", "play 0 " + to_string (80 * 4096) + " 4096", "" },
        { "jumps", repeated (120, [] (int i) { return "play " + to_string ((i * 7919) % 400000) + " 512 512"; }), "" },
        { "loops", repeated (15, [] (int) { return std::string ("play 48000 5120 512"); }), "" },
        { "speed 2", "speed 0 " + to_string (150 * 512) + " 512 2", "" },
    };

    for (const auto& pattern : patterns)
        expectRealTimeSafe (pattern);
}

TEST (RealTimeThroughTheHost, AutomationOfEveryParameterNeitherAllocatesNorCallsTheSystem)
{
    if (! probeBuilt)
    {
        GTEST_SKIP() << "the test host has no audio-thread probe in a sanitizer build";
    }

    const Pattern patterns[] = {
        { "a point every sample on every parameter",
          forEveryParameter ([] (const std::string& id) { return "ramp " + id + " 0 " + to_string (80 * 512) + " 0 1 1"; })
              + "play 0 " + to_string (80 * 512) + " 512",
          "" },
        { "one point per block at its last sample", pointPerBlock (150), "" },
        { "controller edits on the host's thread meanwhile", pointPerBlock (300), "--controller-edits-while-playing",
          "mainThread.controllerEdits" },
        { "state loads on the host's thread meanwhile", pointPerBlock (300), "--state-loads-while-playing", "mainThread.stateLoads" },
    };

    for (const auto& pattern : patterns)
        expectRealTimeSafe (pattern);
}

TEST (RealTimeThroughTheHost, SlicedCallsAndCallsOfNoSamplesNeitherAllocateNorCallTheSystem)
{
    if (! probeBuilt)
    {
        GTEST_SKIP() << "the test host has no audio-thread probe in a sanitizer build";
    }

    const Pattern patterns[] = {
        // Calls of eight announced blocks, the first half with a point every 97 samples everywhere.
        { "calls longer than announced",
          forEveryParameter ([] (const std::string& id) { return "ramp " + id + " 0 120000 0 1 97"; }) + "play 0 240000 2400",
          "--announced-max-block 300" },
        { "calls of no samples with parameter changes",
          repeated (150,
                    [] (int i)
                    {
                        const auto at = to_string (i * 512);
                        return "queue delay_globals_dynamics_wet 2 0 0." + to_string (i % 9) + " 100 0." + to_string ((i + 3) % 9)
                             + "\nqueue ondula_delay_phase 1 0 0." + to_string (i % 7) + "\ncall 0 " + at + "\nplay " + at + " 512 512";
                    }),
          "" },
    };

    for (const auto& pattern : patterns)
        expectRealTimeSafe (pattern);
}
