#include "PlayCommand.h"

#include "AudioThreadProbe.h"
#include "HostContractCalls.h"
#include "MainThreadEdits.h"
#include "PlaySteps.h"
#include "PluginStateTree.h"
#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3CallPlayer.h"
#include "ViewContractCalls.h"
#include "Vst3Module.h"
#include "WavFile.h"
#include "XTestPointer.h"

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/vstspeaker.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <thread>

namespace
{
using namespace Steinberg;

struct Options
{
    juce::String bundle, out, steps, in, signal = "impulse", componentIn, treeIn, stateOut;
    juce::StringArray sets;
    double seconds = 2.0, bpm = 120.0;
    double rate = 0.0; // 0: the input file's, or 48 kHz
    int channels = 2, maxBlock = 0, probeAfterCalls = -1;
    std::optional<int> announcedMaxBlock;
    juce::int64 setupMemoryMB = 0; // 0: no limit
    juce::int64 regionAt = 0;
    bool offline = false, busyMessageThread = false, controllerEditsWhilePlaying = false, stateLoadsWhilePlaying = false;
    bool contractCalls = false, viewCalls = false;
    juce::String viewCase; // empty: every case
};

bool readOptions (const juce::StringArray& args, Options& options, juce::String& error)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        const auto next = [&] { return i + 1 < args.size() ? args[++i] : juce::String(); };

        if (a == "--steps")
            options.steps << next() << "\n";
        else if (a == "--steps-file")
        {
            if (! TestHost::appendStepsFile (next(), 16 * 1024 * 1024, options.steps, error))
                return false;
        }
        else if (a == "--out") options.out = next();
        else if (a == "--in") options.in = next();
        else if (a == "--signal") options.signal = next();
        else if (a == "--seconds") options.seconds = next().getDoubleValue();
        else if (a == "--region-at") options.regionAt = next().getLargeIntValue();
        else if (a == "--rate") options.rate = next().getDoubleValue();
        else if (a == "--channels") options.channels = next().getIntValue();
        else if (a == "--bpm") options.bpm = next().getDoubleValue();
        else if (a == "--max-block") options.maxBlock = next().getIntValue();
        else if (a == "--announced-max-block")
        {
            // Any 32-bit value, as a careless host may announce: 0, negative or huge.
            const auto text = next();
            const auto value = text.getLargeIntValue();

            if (text.trim().isEmpty() || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            {
                error = "--announced-max-block takes a 32-bit number";
                return false;
            }

            options.announcedMaxBlock = (int) value;
        }
        else if (a == "--setup-memory") options.setupMemoryMB = next().getLargeIntValue();
        else if (a == "--offline") options.offline = true;
        else if (a == "--busy-message-thread") options.busyMessageThread = true;
        else if (a == "--audio-thread-probe") options.probeAfterCalls = juce::jmax (0, next().getIntValue());
        else if (a == "--controller-edits-while-playing") options.controllerEditsWhilePlaying = true;
        else if (a == "--state-loads-while-playing") options.stateLoadsWhilePlaying = true;
        else if (a == "--contract-calls") options.contractCalls = true;
        else if (a == "--view-calls") options.viewCalls = true;
        else if (a == "--view-case")
        {
            options.viewCalls = true;
            options.viewCase = next();

            if (! ViewContractCalls::getCaseNames().contains (options.viewCase))
            {
                error = "--view-case takes one of " + ViewContractCalls::getCaseNames().joinIntoString (", ");
                return false;
            }
        }
        else if (a == "--component-in") options.componentIn = next();
        else if (a == "--tree-in") options.treeIn = next();
        else if (a == "--set") options.sets.add (next());
        else if (a == "--state-out") options.stateOut = next();
        else if (options.bundle.isEmpty() && ! a.startsWith ("--"))
            options.bundle = a;
        else
        {
            error = "unknown argument " + a;
            return false;
        }
    }

    if (options.bundle.isEmpty() || options.out.isEmpty() || options.steps.isEmpty())
    {
        error = "usage: play <bundle> --out out.wav (--steps \"...\" | --steps-file file) [--in in.wav | --signal kind --seconds s] "
                "[--region-at pos] [--rate hz] [--channels 1|2] [--bpm b] [--offline] [--max-block n] [--announced-max-block n] [--setup-memory mb] [--component-in file] "
                "[--tree-in tree.xml] [--set id=value]... [--busy-message-thread] [--state-out file] [--audio-thread-probe warm-up-calls] "
                "[--controller-edits-while-playing] [--state-loads-while-playing] [--contract-calls] [--view-calls | --view-case name]";
        return false;
    }

    if (options.channels != 1 && options.channels != 2)
    {
        error = "--channels takes 1 or 2";
        return false;
    }

    return true;
}

/** A second host thread asking for the component state in a tight loop, from construction to
    finish(): the plug-in's getState locks its message thread for the copy, so this keeps that
    thread busy, as a host's own work on its GUI thread does. */
class StateRequestLoop
{
public:
    explicit StateRequestLoop (const Vst3Module& module)
        : thread ([this, &module]
          {
              while (! stop)
              {
                  module.componentState();
                  ++calls;
              }
          })
    {
    }

    ~StateRequestLoop() { finish(); }

    /** Stops the loop; the number of requests it made. */
    juce::int64 finish()
    {
        stop = true;

        if (thread.joinable())
            thread.join();

        return calls;
    }

private:
    std::atomic<bool> stop { false };
    std::atomic<juce::int64> calls { 0 };
    std::thread thread; // last, so that it starts once the flags exist
};

bool loadSource (Options& options, juce::AudioBuffer<float>& source, juce::String& error)
{
    if (options.in.isNotEmpty())
    {
        double fileRate = 0.0;

        if (! WavFile::read (juce::File::getCurrentWorkingDirectory().getChildFile (options.in), source, fileRate))
        {
            error = "cannot read " + options.in;
            return false;
        }

        if (options.rate > 0.0 && options.rate != fileRate)
        {
            error = options.in + " is at " + juce::String (fileRate) + " Hz, not at --rate";
            return false;
        }

        options.rate = fileRate;
        return true;
    }

    if (options.rate <= 0.0)
        options.rate = 48000.0;

    source = TestSignal::make (options.signal, options.channels, (int) (options.seconds * options.rate), options.rate);
    return true;
}

/** The parameters the controller offers, by the ID strings of the command line. */
bool mapParameters (Vst::IEditController& controller, const Options& options, const PlaySteps& steps,
                    std::map<juce::String, Vst::ParamID>& ids, juce::String& error)
{
    std::set<Vst::ParamID> offered;

    for (int32 i = 0; i < controller.getParameterCount(); ++i)
    {
        Vst::ParameterInfo info {};

        if (controller.getParameterInfo (i, info) == kResultOk)
            offered.insert (info.id);
    }

    juce::StringArray names;

    for (const auto& set : options.sets)
        names.add (set.upToFirstOccurrenceOf ("=", false, false).trim());

    for (const auto& step : steps.steps)
        if (step.kind == PlaySteps::Step::Kind::edit || step.kind == PlaySteps::Step::Kind::queue
            || step.kind == PlaySteps::Step::Kind::rampQueue)
            names.add (step.parameter);

    for (const auto& [name, points] : steps.points)
        names.add (name);

    for (const auto& name : names)
    {
        const auto id = (Vst::ParamID) TestHost::vst3ParameterNumber (name).getLargeIntValue();

        if (offered.count (id) == 0)
        {
            error = "unknown parameter " + name;
            return false;
        }

        ids[name] = id;
    }

    return true;
}

bool restoreState (const Vst3Module& module, const Options& options, juce::String& error)
{
    const auto folder = juce::File::getCurrentWorkingDirectory();

    if (options.treeIn.isNotEmpty())
    {
        const auto tree = PluginStateTree::readFile (folder.getChildFile (options.treeIn));

        if (tree == nullptr || ! module.restoreComponentState (PluginStateTree::componentState (*tree)))
        {
            error = "cannot restore the tree " + options.treeIn;
            return false;
        }
    }

    if (options.componentIn.isNotEmpty())
    {
        juce::MemoryBlock block;

        if (! folder.getChildFile (options.componentIn).loadFileAsData (block) || ! module.restoreComponentState (block))
        {
            error = "cannot restore the component state " + options.componentIn;
            return false;
        }
    }

    return true;
}

/** A figure of /proc/self/status in MB ("VmPeak", "VmSize"); -1 where the system does not say. */
juce::int64 addressSpaceMB (const char* figure)
{
    const auto status = juce::File ("/proc/self/status").loadFileAsString();
    const auto line = status.fromFirstOccurrenceOf (juce::String (figure) + ":", false, false).upToFirstOccurrenceOf ("\n", false, false);
    return line.isEmpty() ? -1 : line.trim().getLargeIntValue() / 1024;
}

/** While it lives, the process's address space may grow by at most `mb` MB (RLIMIT_AS), as on a
    machine with little memory. */
class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit (juce::int64 mb)
    {
        if (mb <= 0 || ::getrlimit (RLIMIT_AS, &before) != 0)
            return;

        rlimit limited = before;
        limited.rlim_cur = (rlim_t) (addressSpaceMB ("VmSize") + mb) << 20;
        set = ::setrlimit (RLIMIT_AS, &limited) == 0;
    }

    ~AddressSpaceLimit()
    {
        if (set)
            ::setrlimit (RLIMIT_AS, &before);
    }

private:
    rlimit before {};
    bool set = false;
};

bool startProcessing (Vst3Module& module, Vst::IAudioProcessor& processor, const Options& options, int announcedMaxBlock, juce::String& error)
{
    Vst::SpeakerArrangement arrangement = options.channels == 1 ? Vst::SpeakerArr::kMono : Vst::SpeakerArr::kStereo;

    if (processor.setBusArrangements (&arrangement, 1, &arrangement, 1) != kResultTrue)
    {
        error = "the plug-in refused the bus arrangement";
        return false;
    }

    auto& component = module.getComponent();
    component.activateBus (Vst::kAudio, Vst::kInput, 0, true);
    component.activateBus (Vst::kAudio, Vst::kOutput, 0, true);

    Vst::ProcessSetup setup { options.offline ? Vst::kOffline : Vst::kRealtime, Vst::kSample32, announcedMaxBlock, options.rate };

    if (processor.canProcessSampleSize (Vst::kSample32) != kResultTrue)
    {
        error = "the plug-in refused 32-bit samples";
        return false;
    }

    // With --setup-memory the set-up may be refused for want of memory; the host then goes on with
    // what the plug-in was prepared for before it.
    tresult setupResult = kResultOk;
    {
        const AddressSpaceLimit limit (options.setupMemoryMB);
        setupResult = processor.setupProcessing (setup);
    }

    TestHost::print ("setup.result=" + juce::String (setupResult));

    if ((setupResult != kResultOk && options.setupMemoryMB <= 0) || component.setActive (true) != kResultOk)
    {
        error = "the plug-in refused the processing set-up";
        return false;
    }

    processor.setProcessing (true);
    return true;
}

/** What the main thread does between serving the plug-in while the audio thread plays, besides
    what every run does: a user moving the host's own parameter controls, a project or preset
    restored on the host's thread. */
struct MainThreadWork
{
    /** Sets every parameter through the edit controller to a value of its own, new at every turn. */
    void editEveryParameter (Vst::IEditController& controller)
    {
        ++turns;

        for (int32 i = 0; i < controller.getParameterCount(); ++i)
        {
            Vst::ParameterInfo info {};

            if (controller.getParameterInfo (i, info) == kResultOk && (info.flags & Vst::ParameterInfo::kIsBypass) == 0)
                controller.setParamNormalized (info.id, std::fmod (0.37 * (double) turns + 0.13 * (double) i, 1.0));
        }

        ++controllerEdits;
    }

    void loadState (const Vst3Module& module, const juce::MemoryBlock& state)
    {
        if (module.restoreComponentState (state))
            ++stateLoads;
    }

    juce::int64 turns = 0, controllerEdits = 0, stateLoads = 0;
};

void printProbe (const Vst3CallPlayer& player)
{
    const auto counts = AudioThreadProbe::read();
    TestHost::print ("audio.probe=" + juce::String (AudioThreadProbe::isAvailable() ? "available" : "unavailable"));
    TestHost::print ("audio.probedCalls=" + juce::String (player.getProbedCalls()));
    TestHost::print ("audio.allocations=" + juce::String (counts.allocations));
    TestHost::print ("audio.frees=" + juce::String (counts.frees));
    TestHost::print ("audio.systemCalls=" + juce::String (counts.systemCalls));
    TestHost::print ("audio.locks=" + juce::String (counts.locks));
    TestHost::print ("audio.mutexes=" + juce::String (counts.mutexes));
    TestHost::print ("audio.waits=" + juce::String (counts.waits));
    TestHost::print ("audio.longestWaitMs=" + juce::String (counts.longestWaitMs, 3));

    for (const auto& call : counts.systemCallNames)
        TestHost::print ("audio.systemCall." + call);
}

void printResults (const juce::AudioBuffer<float>& recording, juce::int64 calls)
{
    int nonFinite = 0;

    for (int c = 0; c < recording.getNumChannels(); ++c)
    {
        for (int i = 0; i < recording.getNumSamples(); ++i)
            if (! std::isfinite (recording.getSample (c, i)))
                ++nonFinite;

        TestHost::print ("channel" + juce::String (c) + ".peak=" + juce::String (recording.getMagnitude (c, 0, recording.getNumSamples())));
        TestHost::print ("channel" + juce::String (c) + ".rms=" + juce::String (recording.getRMSLevel (c, 0, recording.getNumSamples())));
    }

    TestHost::print ("samples=" + juce::String (recording.getNumSamples()));
    TestHost::print ("calls=" + juce::String (calls));
    TestHost::print ("nonfinite=" + juce::String (nonFinite));
    TestHost::print ("memory.peakAddressSpaceMB=" + juce::String (addressSpaceMB ("VmPeak")));
}
} // namespace

int PlayCommand::run (const juce::StringArray& args)
{
    Options options;
    PlaySteps steps;
    juce::String error;

    if (! readOptions (args, options, error) || ! steps.parse (options.steps, error))
    {
        TestHost::fail (error);
        return 2;
    }

    const int maxBlock = options.maxBlock > 0 ? options.maxBlock : steps.largestCall();
    // What the host tells the plug-in; its own buffers hold the largest call whatever it announced.
    const int announcedMaxBlock = options.announcedMaxBlock.value_or (maxBlock);

    if (maxBlock < steps.largestCall() || steps.recordedSamples() > std::numeric_limits<int>::max())
    {
        TestHost::fail (maxBlock < steps.largestCall() ? "a step calls with more than --max-block samples" : "the recording is too long");
        return 2;
    }

    if (options.viewCalls && ! XTestPointer::hasDisplay())
    {
        TestHost::fail ("play --view-calls needs a display (run under xvfb-run)");
        TestHost::print ("result=failed");
        return 2;
    }

    juce::AudioBuffer<float> source;
    // Before the module, so that the frames and windows the plug-in was handed outlive it.
    const auto views = options.viewCalls ? std::make_unique<ViewContractCalls>() : nullptr;
    Vst3Module module (options.bundle);
    std::map<juce::String, Vst::ParamID> ids;

    if (! loadSource (options, source, error) || ! module.isOpen() || ! mapParameters (module.getController(), options, steps, ids, error)
        || ! restoreState (module, options, error))
    {
        TestHost::fail (module.isOpen() ? error : module.getError());
        return 1;
    }

    FUnknownPtr<Vst::IAudioProcessor> processor (&module.getComponent());

    if (processor == nullptr)
    {
        TestHost::fail ("the component is no audio processor");
        return 1;
    }

    MainThreadEdits edits;
    Vst3CallPlayer::Settings settings;
    settings.sampleRate = options.rate;
    settings.bpm = options.bpm;
    settings.channels = options.channels;
    settings.maxBlock = maxBlock;
    settings.announcedMaxBlock = announcedMaxBlock;
    settings.regionAt = options.regionAt;
    settings.recordLength = steps.recordedSamples();
    settings.offline = options.offline;
    settings.probeAfterCalls = options.probeAfterCalls;
    Vst3CallPlayer player (*processor, edits, source, settings);

    // From before the stored values, whose updates inside the plug-in then arrive late too.
    std::optional<StateRequestLoop> busy;

    if (options.busyMessageThread)
        busy.emplace (module);

    // Before anything is set or set up, so that what plays shows whether the calls left a trace.
    if (options.contractCalls)
        HostContractCalls::run (module);

    if (views != nullptr && ! views->run (module, options.viewCase))
        return 1;

    for (const auto& set : options.sets)
    {
        const auto id = ids.at (set.upToFirstOccurrenceOf ("=", false, false).trim());
        const auto value = set.fromFirstOccurrenceOf ("=", false, false).getDoubleValue();
        module.getController().setParamNormalized (id, value);
        player.addPending (id, value);
    }

    for (const auto& [name, points] : steps.points)
        player.addAutomation (ids.at (name), points);

    if (! startProcessing (module, *processor, options, announcedMaxBlock, error))
    {
        TestHost::fail (error);
        return 1;
    }

    // Restored over and over while the audio thread plays: the state the run started from.
    const auto stateToLoad = options.stateLoadsWhilePlaying ? module.componentState() : juce::MemoryBlock();
    MainThreadWork work;
    std::atomic<bool> finished { false };
    bool ok = true;

    std::thread audio ([&]
    {
        for (const auto& step : steps.steps)
            if (! (ok = player.perform (step, ids, error)))
                break;

        finished = true;
    });

    while (! finished)
    {
        TestHost::pumpMessages (2);
        edits.serve (module.getController());
        player.updateController (module.getController());

        if (options.controllerEditsWhilePlaying)
            work.editEveryParameter (module.getController());

        if (options.stateLoadsWhilePlaying)
            work.loadState (module, stateToLoad);
    }

    audio.join();
    player.updateController (module.getController());
    const auto getStateCalls = busy ? busy->finish() : 0;

    processor->setProcessing (false);
    module.getComponent().setActive (false);

    // The plug-in's own message thread finishes what the run left it (tree and controller updates).
    TestHost::pumpMessages (200);

    if (! ok)
    {
        TestHost::fail (error);
        return 1;
    }

    auto& controller = module.getController();

    for (int32 i = 0; i < controller.getParameterCount(); ++i)
    {
        Vst::ParameterInfo info {};

        if (controller.getParameterInfo (i, info) == kResultOk)
            TestHost::print ("param." + juce::String (info.id) + "=" + juce::String (controller.getParamNormalized (info.id), 9));
    }

    if (options.busyMessageThread)
        TestHost::print ("busy.getStateCalls=" + juce::String (getStateCalls));

    if (options.controllerEditsWhilePlaying)
        TestHost::print ("mainThread.controllerEdits=" + juce::String (work.controllerEdits));

    if (options.stateLoadsWhilePlaying)
        TestHost::print ("mainThread.stateLoads=" + juce::String (work.stateLoads));

    if (options.probeAfterCalls >= 0)
        printProbe (player);

    if (options.stateOut.isNotEmpty())
    {
        const auto state = module.componentState();

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (options.stateOut).replaceWithData (state.getData(), state.getSize()))
        {
            TestHost::fail ("cannot write " + options.stateOut);
            return 1;
        }
    }

    if (! WavFile::write (juce::File::getCurrentWorkingDirectory().getChildFile (options.out), player.getRecording(), options.rate))
    {
        TestHost::fail ("cannot write " + options.out);
        return 1;
    }

    printResults (player.getRecording(), player.getCalls());

    if (const auto& doubles = player.getDoubleCalls(); doubles.made > 0)
    {
        TestHost::print ("calls64=" + juce::String (doubles.made));
        TestHost::print ("calls64.refused=" + juce::String (doubles.refused));
        TestHost::print ("calls64.changedSamples=" + juce::String (doubles.changedSamples));
    }

    TestHost::print ("result=ok");
    return 0;
}
