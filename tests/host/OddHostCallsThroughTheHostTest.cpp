// Calls that careless or unusual hosts make, through the bundle with the test host's play command:
// blocks longer than announced or of a negative length, parameter queues that claim more points
// than they hold and lists that claim more queues, announced block sizes of any value, 64-bit
// buffers after a 32-bit set-up, positions before the timeline's start, a play head at another
// speed; and, besides processing, the edit controller's, the units', the MIDI mapping's, the
// component's and the factory's calls with indexes out of range, null pointers, texts that read as
// no number and undefined speakers; and the editor view's calls in the orders hosts make them and
// in some they should not, on a virtual display. Also run against the AddressSanitizer and
// UndefinedBehaviorSanitizer build of the bundle, where an overrun or undefined arithmetic fails
// the run.

#include "HostRunner.h"
#include "support/SoundComparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using std::to_string;

const std::string strongModulation = HostRunner::strongModulation();

std::string printedDb (double db)
{
    return std::isinf (db) ? (db < 0 ? "-inf" : "+inf") : to_string (db);
}

/** Checks that a run went well and prints its residual against the reference samples. */
double residualAgainst (const HostRunner::Result& render, const std::vector<float>& reference, const std::string& label)
{
    EXPECT_EQ (render.exitCode, 0) << label << "\n" << render.output;
    EXPECT_EQ (render["nonfinite"], "0") << label;
    EXPECT_EQ (render.samples.size(), reference.size()) << label;

    const auto residual = SoundComparison::residualDb (render.samples, reference);
    std::cout << label << ": residual " << printedDb (residual) << " dB\n";
    return residual;
}

/** The first line of a run's error output that a sanitizer or the virtual display wrote, to say
    at once what went wrong; empty when there is none. */
std::string firstProblem (const std::string& errors)
{
    std::istringstream lines (errors);

    for (std::string line; std::getline (lines, line);)
        if (line.find ("ERROR: AddressSanitizer") != std::string::npos || line.find ("runtime error") != std::string::npos
            || line.find ("ERROR: LeakSanitizer") != std::string::npos || line.find ("xvfb-run: error") != std::string::npos)
            return line;

    return {};
}

/** Plays the steps and returns, beside the run, the wet level the plug-in's saved state holds
    after it: the value its parameter took (the test host does not hand queues of its own to the
    controller, so the controller cannot tell). */
HostRunner::Result playForWet (const std::string& name, const std::string& steps, const std::string& arguments, double& wet)
{
    const auto state = HostRunner::scratch (name + ".component");
    auto result = HostRunner::play (name, steps, arguments + " --state-out '" + state + "'");
    wet = HostRunner::treeValue (HostRunner::readFile (state), "delay_globals_dynamics", "wet");
    return result;
}
} // namespace

TEST (OddHostCallsThroughTheHost, ACallLongerThanAnnouncedSoundsAsTheSameCallAnnounced)
{
    // The host announces 300 samples (not a divisor of the 512-sample control piece) and calls
    // with one more, twice and eight times as many. Three lines run through the slices: the Ondula
    // amount with a point every sample, the frequency amount with one every 97 samples, and the
    // wet level from two points, the second after the last call, so that every slice edge falls
    // inside a segment somewhere. The reference is the same calls announced.
    constexpr int announced = 300;
    const std::string automation = "ramp delay_globals_ondula_amount 0 30000 0 1 1\n"
                                   "ramp ondula_frequency_amount 700 40000 1 0 97\n"
                                   "point delay_globals_dynamics_wet 0 1\n"
                                   "point delay_globals_dynamics_wet 60000 0.2\n";

    for (const int length : { announced + 1, 2 * announced, 8 * announced })
    {
        const auto steps = automation + "play 7000 48000 " + to_string (length);
        const auto arguments = "--signal noise --seconds 1 --region-at 7000" + strongModulation;
        const auto reference = HostRunner::play ("announced", steps, arguments);
        ASSERT_EQ (reference.exitCode, 0) << reference.output;
        ASSERT_EQ (reference.samples.size(), 48000u * 2);

        const auto sliced = HostRunner::play ("sliced", steps, arguments + " --announced-max-block " + to_string (announced));
        const auto label = "calls of " + to_string (length) + " announced as " + to_string (announced);
        EXPECT_LE (residualAgainst (sliced, reference.samples, label), -100.0) << label;
        EXPECT_EQ (sliced["param." + HostRunner::vst3Number ("delay_globals_ondula_amount")], "1.000000000") << label;
    }
}

TEST (OddHostCallsThroughTheHost, ACallOfANegativeOrAbsurdLengthIsOneWithoutAudioWhoseParametersCount)
{
    // Each odd call in the middle of playback carries a point for the wet level; it must play as
    // the same point does at the start of the next call (no control piece starts in between). The
    // absurd length is beyond what the host's buffers hold (the longest other call), so touching
    // them would overrun them.
    const auto around = [] (const std::string& call)
    {
        return "play 0 24000 300\nqueue delay_globals_dynamics_wet 1 0 0.3\n" + call + "\nplay 24000 24000 300\n";
    };

    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto reference = HostRunner::play ("point", "point delay_globals_dynamics_wet 24000 0.3\nplay 0 24000 300\nplay 24000 24000 300",
                                             arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;
    ASSERT_EQ (reference.samples.size(), 48000u * 2);

    for (const auto* call : { "call 0 24000", "call -1 24000", "call -2147483648 24000", "call 16777217 24000" })
    {
        double wet = 0.0;
        const auto odd = playForWet ("odd", around (call), arguments, wet);
        EXPECT_EQ (residualAgainst (odd, reference.samples, call), -std::numeric_limits<double>::infinity()) << call;
        EXPECT_NEAR (wet, 0.3, 1.0e-6) << call;
    }
}

TEST (OddHostCallsThroughTheHost, AQueueClaimingMorePointsThanItHoldsPlaysThePointsItHolds)
{
    // Every call brings a queue that claims 2^31 - 1 points and holds one, at offset 0, a step of
    // a staircase: read up to its claim, each call would take seconds, and the run would not end
    // in the test's time. The stairs must sound as the same points sent as the host sends them.
    std::string claiming, sent;

    for (int call = 0; call < 100; ++call)
    {
        const auto value = to_string (0.2 + 0.6 * (call % 7) / 6.0);
        const auto position = to_string (call * 480);
        claiming += "queue delay_globals_dynamics_wet 2147483647 0 " + value + "\nplay " + position + " 480 480\n";
        sent += "point delay_globals_dynamics_wet " + position + " " + value + "\n";
    }

    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto reference = HostRunner::play ("points", sent + "play 0 48000 480", arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;

    double wet = 0.0;
    const auto claimed = playForWet ("claiming", claiming, arguments, wet);
    EXPECT_EQ (residualAgainst (claimed, reference.samples, "queues claiming 2^31 - 1 points"), -std::numeric_limits<double>::infinity());
    EXPECT_NEAR (wet, 0.2 + 0.6 * (99 % 7) / 6.0, 1.0e-6);
}

TEST (OddHostCallsThroughTheHost, AListClaimingMoreQueuesThanItHoldsPlaysTheQueuesItHolds)
{
    // Every call brings a list that claims 2^31 - 1 queues and holds one, a step of a staircase on
    // the wet level: beyond it the list hands nothing, or the same queue at every index. Read up
    // to its claim, each call would take seconds. The stairs must sound as the same points sent
    // in an honest list.
    for (const auto* beyond : { "null", "same" })
    {
        std::string claiming, sent;

        for (int call = 0; call < 100; ++call)
        {
            const auto value = to_string (0.2 + 0.6 * (call % 7) / 6.0);
            const auto position = to_string (call * 480);
            claiming += std::string ("queues 2147483647 ") + beyond + "\nqueue delay_globals_dynamics_wet 1 0 " + value + "\nplay " + position + " 480 480\n";
            sent += "point delay_globals_dynamics_wet " + position + " " + value + "\n";
        }

        const auto arguments = "--signal noise --seconds 1" + strongModulation;
        const auto reference = HostRunner::play ("honest-list", sent + "play 0 48000 480", arguments);
        ASSERT_EQ (reference.exitCode, 0) << reference.output;

        double wet = 0.0;
        const auto label = std::string ("lists claiming 2^31 - 1 queues, ") + beyond + " beyond";
        const auto claimed = playForWet ("claiming-list", claiming, arguments, wet);
        EXPECT_EQ (residualAgainst (claimed, reference.samples, label), -std::numeric_limits<double>::infinity()) << label;
        EXPECT_NEAR (wet, 0.2 + 0.6 * (99 % 7) / 6.0, 1.0e-6) << label;
    }
}

TEST (OddHostCallsThroughTheHost, ACallWithoutAudioEndsItsParameterOnTheLastPointOfItsQueue)
{
    // A call refused for its length (one sample beyond 2^24, or negative) with a point at every
    // sample from 0 to 1: the wet level ends on the last point, 1, as a call of that length would
    // leave it, however many points the client may read.
    for (const auto* call : { "call 16777217 4800", "call -1 4800" })
    {
        double wet = 0.0;
        const auto steps = std::string ("play 0 4800 480\nramp-queue delay_globals_dynamics_wet 16777217 0 1\n") + call + "\nplay 4800 4800 480";
        const auto render = playForWet ("refused-ramp", steps, "--signal noise --seconds 1", wet);
        EXPECT_EQ (render.exitCode, 0) << call << "\n" << render.output;
        EXPECT_EQ (wet, 1.0) << call;
    }
}

TEST (OddHostCallsThroughTheHost, AnyAnnouncedMaximumBlockPlaysCallsOf512And4096WithTheDrySignalExact)
{
    // setupProcessing with a maximum the plug-in cannot or need not prepare for: nothing is thrown
    // into the host, no gigabytes are reserved, and fully dry, calls of 512 and 4096 give the
    // input exactly.
    constexpr int length = 3 * 4096 + 2 * 512;
    std::vector<float> input ((size_t) length * 2);

    for (size_t i = 0; i < input.size(); ++i)
        input[i] = (float) ((i * 7919u) % 2001u) / 1000.0f - 1.0f;
    const auto inputFile = HostRunner::scratch ("announced-in.wav");
    HostRunner::writeWavSamples (inputFile, input, 2, 48000);

    for (const auto* announced : { "0", "-1", "-2147483648", "1073741824", "1073741825", "2147483647" })
    {
        const auto render = HostRunner::play ("announced", "play 0 1024 512\nplay 1024 " + to_string (length - 1024) + " 4096",
                                              "--in '" + inputFile + "' --set delay_globals_dynamics_wet=0 --announced-max-block " + announced);
        ASSERT_EQ (render.exitCode, 0) << announced << "\n" << render.output;
        EXPECT_EQ (render.samples, input) << "announced " << announced;
        std::cout << "announced " << announced << ": peak address space " << render["memory.peakAddressSpaceMB"] << " MB\n";

       #if ! defined (__SANITIZE_ADDRESS__)
        EXPECT_LE (std::stoll (render["memory.peakAddressSpaceMB"]), 4096) << "announced " << announced;
       #endif
    }
}

TEST (OddHostCallsThroughTheHost, ASetUpThatRunsOutOfMemoryAnswersSoAndLeavesThePlugInAsItWas)
{
   #if defined (__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves its shadow memory and cannot run under an address-space limit";
   #else
    // The host's address space may grow by 200 MB during a set-up announcing INT32_MAX samples,
    // less than 2^24 samples take: the plug-in answers kOutOfMemory (6) instead of throwing, and
    // plays, fully dry, calls of 512 and 4096 as it was prepared before (the input exactly).
    constexpr int length = 4096 + 2 * 4096;
    std::vector<float> input ((size_t) length * 2);

    for (size_t i = 0; i < input.size(); ++i)
        input[i] = (float) ((i * 7919u) % 2001u) / 1000.0f - 1.0f;

    const auto inputFile = HostRunner::scratch ("out-of-memory-in.wav");
    HostRunner::writeWavSamples (inputFile, input, 2, 48000);

    const auto render = HostRunner::play ("out-of-memory", "play 0 4096 512\nplay 4096 8192 4096",
                                          "--in '" + inputFile + "' --set delay_globals_dynamics_wet=0 --announced-max-block 2147483647 --setup-memory 200");
    ASSERT_EQ (render.exitCode, 0) << render.output;
    EXPECT_EQ (render["setup.result"], "6");
    EXPECT_EQ (render.samples, input);
   #endif
}

TEST (OddHostCallsThroughTheHost, ACallWith64BitSamplesIsRefusedWithoutTouchingTheHostsBuffers)
{
    // The plug-in processes 32-bit samples only, and the set-up says so; a host that then calls
    // with 64-bit buffers gets a refusal and its buffers back as they were, and playback around
    // the call sounds as without it.
    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto reference = HostRunner::play ("without-64", "play 0 24000 512\nplay 24000 24000 512", arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;

    const auto render = HostRunner::play ("with-64", "play 0 24000 512\ncall64 512 24000\nplay 24000 24000 512", arguments);
    EXPECT_EQ (render["calls64.refused"], "1");
    EXPECT_EQ (render["calls64.changedSamples"], "0");
    EXPECT_EQ (residualAgainst (render, reference.samples, "around a 64-bit call"), -std::numeric_limits<double>::infinity());
}

TEST (OddHostCallsThroughTheHost, PlaybackFromBeforeTheTimelinesStartMeetsPlaybackStartedThere)
{
    // A count-in reported with negative positions, crossing 0 inside a call (at its first, second
    // and last sample) or at a call's start: from 2 s after 0 on, the sound must be that of
    // playback started at 0. The idle calls and the pre-roll before 0 run as a DAW's do.
    constexpr int rate = 48000, compared = 2 * rate;
    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto started = HostRunner::play ("from-zero", "play 0 " + to_string (3 * rate) + " 512", arguments);
    ASSERT_EQ (started.exitCode, 0) << started.output;
    const auto reference = SoundComparison::tail (started.samples, (size_t) compared * 2);

    for (const int before : { 1, 511, 96000, 96001 })
    {
        const auto steps = "idle 20 512 -" + to_string (before + 300) + "\npreroll 300 -" + to_string (before + 300) + "\nplay -"
                         + to_string (before) + " " + to_string (before + 3 * rate) + " 512";
        auto render = HostRunner::play ("count-in", steps, arguments);
        render.samples = SoundComparison::tail (render.samples, (size_t) compared * 2);

        const auto label = "from " + to_string (-before);
        EXPECT_LE (residualAgainst (render, reference, label), -100.0) << label;
    }
}

TEST (OddHostCallsThroughTheHost, APlayHeadAtSpeedOneIsPlaybackOfTheLiveInput)
{
    // The speed step reports its start plus the samples it rendered times the speed: at 1 exactly
    // what playback of the source from the timeline's start reports and hears. At other speeds and
    // after re-activations the run completes and stays finite.
    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto played = HostRunner::play ("played", "play 0 48000 512", arguments);
    ASSERT_EQ (played.exitCode, 0) << played.output;

    const auto atSpeedOne = HostRunner::play ("speed-1", "speed 0 48000 512 1", arguments);
    EXPECT_EQ (residualAgainst (atSpeedOne, played.samples, "speed 1"), -std::numeric_limits<double>::infinity());

    const auto varied = HostRunner::play ("speeds", "speed -4000 12000 64 0.5\nspeed 0 12000 256 0\nspeed 96000 12000 1024 -2\n"
                                                    "reactivate 96000 offline\nplay 0 6000 512\nreactivate realtime\nstopped 6000 128",
                                          arguments);
    EXPECT_EQ (varied.exitCode, 0) << varied.output;
    EXPECT_EQ (varied["nonfinite"], "0");
    EXPECT_EQ (varied.samples.size(), 48000u * 2);
}

TEST (OddHostCallsThroughTheHost, CallsOutOfTheContractAreRefusedWithoutAnExceptionAndLeaveThePlayAsWithout)
{
    // Before it plays, the host makes every call of the battery (the test host's --contract-calls):
    // none may throw or crash, each call out of the contract answers a refusal, each call within
    // it is taken, and the run then sounds and ends exactly as the same run without them.
    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto steps = "play 0 24000 512";
    const auto reference = HostRunner::play ("without-contract-calls", steps, arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;

    const auto render = HostRunner::play ("contract-calls", steps, arguments + " --contract-calls");
    ASSERT_EQ (render.exitCode, 0) << render.output;
    EXPECT_EQ (render["contract.thrown"], "0");
    EXPECT_EQ (render["contract.parameters"], "31");

    const std::map<std::string, std::string> expected {
        { "contract.parameterInfo.-1", "false" },
        { "contract.parameterInfo.31", "false" },
        { "contract.parameterInfo.2147483647", "false" },
        { "contract.parameterInfo.-2147483648", "false" },
        { "contract.parameterInfo.nullInfo", "invalid" },
        { "contract.stringByValue.nullString", "invalid" },
        { "contract.valueByString.nullValue", "invalid" },
        { "contract.controllerUnits.unitInfo.-2147483648", "false" },
        { "contract.componentUnits.unitInfo.-2147483648", "false" },
        { "contract.controllerUnits.programName.nullName", "invalid" },
        { "contract.midiMapping.0.16.7", "false" },
        { "contract.busInfo.nullInfo", "invalid" },
        { "contract.controllerClassId.null", "invalid" },
        { "contract.busArrangements.all", "false" },
        { "contract.busArrangements.bit63", "false" },
        { "contract.busArrangements.nullArrays", "invalid" },
        { "contract.classInfo.2", "invalid" },
        { "contract.createInstance.nullObject", "invalid" },
        // Directions the SDK does not define (it has 0 and 1), more buses than the plug-in has.
        { "contract.busInfo.direction5", "false" },
        { "contract.busInfo.direction-1", "false" },
        { "contract.activateBus.direction5", "false" },
        { "contract.activateBus.direction-1", "false" },
        { "contract.busArrangement.direction5", "false" },
        { "contract.busArrangements.twoBuses", "false" },
        { "contract.controllerUnits.unitByBus.event.input", "false" },
        { "contract.componentUnits.unitByBus.direction-1", "false" },
        // A pointer to no controller, handed to a component no controller has introduced itself to.
        { "contract.componentNotify.forgedController", "false" },
    };

    for (const auto& [key, answer] : expected)
        EXPECT_EQ (render[key], answer) << key;

    EXPECT_TRUE (render["contract.controllerNotify.noAttributes"] == "false" || render["contract.controllerNotify.noAttributes"] == "invalid")
        << render["contract.controllerNotify.noAttributes"];

    // A bus count is a number: none in a direction or of a media type the SDK does not define.
    for (const auto* key : { "contract.busCount.audio.direction5", "contract.busCount.audio.direction-1", "contract.busCount.type7.input" })
        EXPECT_EQ (render[key], "0") << key;

    // Calls within the contract are taken: names and texts that fill the SDK's buffers, and a
    // controller introduced to its component through the host's own connection point.
    EXPECT_EQ (render["contract.proxyMessage"], "1");
    int validCalls = 0;

    for (const auto& [key, answer] : render.values)
    {
        if (key.rfind ("contract.valid.", 0) != 0)
            continue;

        ++validCalls;
        EXPECT_EQ (answer, "ok") << key;
    }

    EXPECT_EQ (validCalls, 6);

    // Every other call of the battery is refused too, in one of the SDK's words for it.
    int calls = 0;

    for (const auto& [key, answer] : render.values)
    {
        if (key.rfind ("contract.", 0) != 0 || key.rfind ("contract.texts", 0) == 0 || key.rfind ("contract.valueTexts", 0) == 0
            || key.rfind ("contract.valid.", 0) == 0 || key.rfind ("contract.busCount.", 0) == 0
            || key == "contract.thrown" || key == "contract.parameters" || key == "contract.proxyMessage")
            continue;

        ++calls;
        EXPECT_TRUE (answer == "false" || answer == "invalid" || answer == "notImplemented") << key << "=" << answer;
    }

    EXPECT_GT (calls, 120);

    // Texts: "nan", "NaN %", "inf", "-inf", "1e309" and the like on every parameter are refused or
    // read within 0..1; values: NaN is refused, a value beyond 0..1 reads as the nearest end.
    EXPECT_EQ (render["contract.texts.outside"], "0");
    EXPECT_EQ (render["contract.texts.nanAccepted"], "0");
    EXPECT_NE (render["contract.texts.accepted"], "0");
    EXPECT_EQ (render["contract.valueTexts.nanAccepted"], "0");
    EXPECT_EQ (render["contract.valueTexts.unclamped"], "0");
    EXPECT_EQ (render["contract.valueTexts.unterminated"], "0");

    EXPECT_EQ (residualAgainst (render, reference.samples, "after the contract calls"), -std::numeric_limits<double>::infinity());

    for (const auto& [key, value] : reference.values)
    {
        if (key.rfind ("param.", 0) != 0)
            continue;

        EXPECT_EQ (render[key], value) << key;
    }
}

TEST (OddHostCallsThroughTheHost, TheEditorViewKeepsTheContractInAnyOrderAndThePlayIsAsWithout)
{
   #if ! defined (ONDULA_XVFB_RUN)
    GTEST_SKIP() << "the editor view battery needs xvfb-run";
   #else
    // Before it plays, the host runs the editor view battery (the test host's --view-calls) on a
    // virtual display of its own: views closed in either order, two instances and two views at
    // once, a removed view attached again, scale factors and sizes of any value, a terminated
    // controller's view, frames without a run loop, two instances on one frame. Every call
    // answers as a view must, every editor that opens is drawn and stays served, no frame holds a
    // registration or a reference once its view has gone or is called after the host took it
    // back, nothing throws, crashes or hangs, and the run then sounds and ends exactly as the same
    // run without the battery.
    const auto arguments = "--signal noise --seconds 1" + strongModulation;
    const auto steps = "play 0 24000 512";
    const auto reference = HostRunner::play ("without-view-calls", steps, arguments);
    ASSERT_EQ (reference.exitCode, 0) << reference.output;

    // Room for two editors one above the other, and for one at 1.25 times its size.
    const auto display = HostRunner::virtualDisplay ("-screen 0 1800x1400x24");
    const auto errors = HostRunner::scratch ("view-calls.errors");
    auto render = HostRunner::play ("view-calls", steps, arguments + " --view-calls", display, errors);

    if (HostRunner::displayFailed (HostRunner::readFile (errors)))
    {
        std::cout << "the virtual display did not come up; once more\n";
        render = HostRunner::play ("view-calls", steps, arguments + " --view-calls", display, errors);
    }

    EXPECT_EQ (render.exitCode, 0) << firstProblem (HostRunner::readFile (errors));
    EXPECT_EQ (render["view.hung"], "") << "a case did not finish within a minute";
    EXPECT_EQ (render["view.thrown"], "0");
    EXPECT_EQ (render["view.lateFrameCalls"], "0");
    EXPECT_EQ (render["view.callsAfterTheBattery"], "0");
    std::cout << "X errors during the battery: " << render["view.xErrors"] << ", resident growth of the onSize case: "
              << render["view.onSize.residentGrowthMB"] << " MB\n";

    const std::vector<std::string> badFactors { "0", "nan", "inf", "-inf", "-1", "1e-30", "100", "1e30" };
    const std::vector<std::string> badRects { "16384x16384", "22000x22000", "23170x23170", "32767x32767", "65536x65536",
                                              "int32MaxSquare", "0x0", "-100x-100", "int32Span" };

    struct Case
    {
        std::string name;
        std::vector<std::string> frames; // the labels of its frames
        std::map<std::string, std::string> answers;
    };

    std::vector<Case> cases {
        { "sdkClose", { "" }, { { "attached", "ok" }, { "size", "1350x660" }, { "drawn", "1" }, { "close.setFrame", "ok" }, { "close.removed", "ok" } } },
        { "removedFirst", { "" }, { { "attached", "ok" }, { "drawn", "1" }, { "close.removed", "ok" }, { "close.setFrame", "ok" } } },
        { "twoInstances", { "first.", "second." },
          { { "first.attached", "ok" }, { "second.attached", "ok" }, { "first.drawn", "1" }, { "second.drawn", "1" },
            { "secondRedraws", "1" }, { "first.registrationsWhileSecondOpen", "0" } } },
        { "twoViews", { "view1.", "view2." },
          { { "view1.attached", "ok" }, { "view1.removed", "ok" }, { "view2.created", "1" }, { "view2.attached", "ok" }, { "view2.drawn", "1" },
            { "view1.attachedAgain", "false" }, { "view2.size", "1350x660" }, { "view2.redraws", "1" }, { "view1.reattached", "ok" },
            { "view1.drawn", "1" } } },
        { "scale", { "", "next." },
          { { "attached", "ok" }, { "scaleSupport", "1" }, { "badFactors.otherSizesAsked", "0" }, { "factor.1", "ok" }, { "factor.1.25", "ok" },
            { "factor.1.back", "ok" }, { "factor.1.back.size", "1350x660" }, { "factor.0.last", "false" },
            { "next.attached", "ok" }, { "next.sizeAttached", "1350x660" }, { "next.drawn", "1" } } },
        { "onSize", { "" },
          { { "beforeAttached", "false" }, { "attached", "ok" }, { "size", "1350x660" }, { "drawn", "1" }, { "current", "ok" }, { "drawnAfter", "1" } } },
        { "sizeConstraint", { "" }, { { "normal", "ok" }, { "normal.size", "1350x660" }, { "nearMaxValid", "1" } } },
        { "attachedTwice", { "" }, { { "first", "ok" }, { "second", "false" }, { "firstDrawn", "1" } } },
        { "afterTerminate", { "" }, { { "attached", "ok" }, { "removed", "ok" }, { "terminate", "ok" }, { "attachedAgain", "false" } } },
        { "noRunLoop", { "" }, { { "cycles", "50" } } },
        { "sharedFrame", { "" },
          { { "first.attached", "ok" }, { "second.attached", "ok" }, { "first.drawn", "1" }, { "second.drawn", "1" },
            { "first.close.removed", "ok" }, { "first.close.setFrame", "ok" }, { "secondRedraws", "1" } } },
    };

    for (const auto& factor : badFactors)
    {
        cases[4].answers["factor." + factor] = "false";
        cases[4].answers["factor." + factor + ".size"] = "1350x660";
    }

    for (int trip = 1; trip <= 3; ++trip)
        for (const auto* what : { ".up", ".down" })
            cases[4].answers["roundTrip" + to_string (trip) + what] = "ok";

    for (int trip = 1; trip <= 3; ++trip)
        cases[4].answers["roundTrip" + to_string (trip) + ".size"] = "1350x660";

    for (const auto& rect : badRects)
    {
        cases[5].answers["rect." + rect] = "false";
        cases[5].answers["rect." + rect + ".size"] = "1350x660";
    }

    for (auto& c : cases)
    {
        for (const auto& frame : c.frames)
            for (const auto* what : { "registrationsLeft", "frameReferences", "callsAfterTakenBack" })
                c.answers[frame + what] = "0";

        const auto key = [&c] (const std::string& what) { return "view." + c.name + "." + what; };

        // The cases run in this order: the first that did not finish is where the run ended.
        if (render[key ("done")] != "1")
        {
            ADD_FAILURE() << "the battery ended in " << c.name << " (exit " << render.exitCode << ") "
                          << firstProblem (HostRunner::readFile (errors));
            break;
        }

        for (const auto& [what, answer] : c.answers)
            EXPECT_EQ (render[key (what)], answer) << key (what);
    }

    // The editor at 1.25 times 1350x660 (1687.5 rounds either way), the size the frame was asked for.
    const auto scaled = render["view.scale.factor.1.25.size"];
    EXPECT_TRUE (scaled == "1688x825" || scaled == "1687x825") << scaled;
    EXPECT_EQ (render["view.scale.factor.1.25.asked"], scaled);

    // All the plug-in's descriptors are served by the frame of the editor still open, also where
    // the closed one had the same frame.
    EXPECT_GT (std::atoi (render["view.twoInstances.second.registrationsWhileOpen"].c_str()), 0);
    EXPECT_GT (std::atoi (render["view.sharedFrame.registrationsWhileSecondOpen"].c_str()), 0);

    const auto nullRect = render["view.sizeConstraint.null"];
    EXPECT_TRUE (nullRect == "false" || nullRect == "invalid") << nullRect;

    // Without a run loop the view refuses to open, or opens safely and draws.
    for (const std::string variant : { "noRunLoopFrame.", "noFrame." })
    {
        const auto attached = render["view.noRunLoop." + variant + "attached"];
        EXPECT_TRUE (attached == "false" || (attached == "ok" && render["view.noRunLoop." + variant + "drawn"] == "1"))
            << variant << attached << ", drawn " << render["view.noRunLoop." + variant + "drawn"];
    }

    ASSERT_EQ (render["result"], "ok") << "the play after the battery did not finish";
    EXPECT_EQ (residualAgainst (render, reference.samples, "after the view calls"), -std::numeric_limits<double>::infinity());

    for (const auto& [key, value] : reference.values)
    {
        if (key.rfind ("param.", 0) != 0)
            continue;

        EXPECT_EQ (render[key], value) << key;
    }
   #endif
}
