#include "PlayCommand.h"

#include "HostParameterChanges.h"
#include "PlaySteps.h"
#include "PluginStateTree.h"
#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3Module.h"
#include "WavFile.h"

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstprocesscontext.h>
#include <pluginterfaces/vst/vstspeaker.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
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
    int channels = 2, maxBlock = 0;
    juce::int64 regionAt = 0;
    bool offline = false, busyMessageThread = false;
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
            const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (next());

            if (! file.existsAsFile() || file.getSize() > 16 * 1024 * 1024)
            {
                error = "cannot read the steps file " + file.getFullPathName();
                return false;
            }

            options.steps << file.loadFileAsString() << "\n";
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
        else if (a == "--offline") options.offline = true;
        else if (a == "--busy-message-thread") options.busyMessageThread = true;
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
                "[--region-at pos] [--rate hz] [--channels 1|2] [--bpm b] [--offline] [--max-block n] [--component-in file] "
                "[--tree-in tree.xml] [--set id=value]... [--busy-message-thread] [--state-out file]";
        return false;
    }

    if (options.channels != 1 && options.channels != 2)
    {
        error = "--channels takes 1 or 2";
        return false;
    }

    return true;
}

/** Host-side edits the audio thread hands to the main thread, waiting until each has run there,
    as a DAW's own parameter slider acts on its GUI thread between audio calls. */
class MainThreadEdits
{
public:
    /** Audio thread: blocks until serve() has run the edit. */
    void request (Vst::ParamID id, double value)
    {
        std::unique_lock<std::mutex> lock (mutex);
        pending = { id, value };
        hasPending = true;
        done.wait (lock, [this] { return ! hasPending; });
    }

    /** Main thread. */
    void serve (Vst::IEditController& controller)
    {
        const std::lock_guard<std::mutex> lock (mutex);

        if (! hasPending)
            return;

        controller.setParamNormalized (pending.first, pending.second);
        hasPending = false;
        done.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable done;
    std::pair<Vst::ParamID, double> pending;
    bool hasPending = false;
};

/** Runs the steps' process calls against the plug-in's audio processor and keeps the recording. */
class CallPlayer
{
public:
    enum class Transport { playing, stopped, none };
    enum class Input { silence, timeline, live };

    CallPlayer (Vst::IAudioProcessor& processorToUse, MainThreadEdits& editsToUse, const juce::AudioBuffer<float>& sourceToPlay,
                const Options& options, int maxBlock, juce::int64 recordLength)
        : processor (processorToUse), edits (editsToUse), source (sourceToPlay), regionAt (options.regionAt),
          channels (options.channels), sampleRate (options.rate), bpm (options.bpm), offline (options.offline),
          inputs (options.channels, maxBlock), outputs (options.channels, maxBlock),
          recording (options.channels, (int) recordLength),
          changes (maxBlock + 16), pluginChanges (maxBlock + 16)
    {
        recording.clear();
        pending.reserve (64);

        for (int c = 0; c < channels; ++c)
        {
            inputPointers[(size_t) c] = inputs.getWritePointer (c);
            outputPointers[(size_t) c] = outputs.getWritePointer (c);
        }
    }

    /** Points of play steps, by VST3 parameter number; the lists outlive the player. */
    void addAutomation (Vst::ParamID id, const std::vector<PlaySteps::Point>& points)
    {
        automation.push_back (std::make_unique<Lane> (id, points));
    }

    /** Main thread: hands the controller the last value each parameter's automation sent, as a
        DAW keeps its controller (and so its parameter display) in step with the automation it
        plays. */
    void updateController (Vst::IEditController& controller)
    {
        for (auto& lane : automation)
            if (lane->unsent.exchange (false, std::memory_order_acquire))
                controller.setParamNormalized (lane->id, lane->sent.load());
    }

    /** Values for the next call at offset 0: stored ones before the first call, edits later. */
    void addPending (Vst::ParamID id, double value) { pending.push_back ({ id, value }); }

    /** Audio thread. False with the reason when the plug-in refused a call. */
    bool perform (const PlaySteps::Step& step, const std::map<juce::String, Vst::ParamID>& ids, juce::String& error)
    {
        using Kind = PlaySteps::Step::Kind;

        switch (step.kind)
        {
            case Kind::idle:
                for (juce::int64 i = 0; i < step.calls; ++i)
                    if (! call (step.blocks.sizes[0], Transport::stopped, step.position, Input::silence, 0, false, error))
                        return false;

                return true;

            case Kind::preroll:
                return call ((int) step.samples, Transport::playing, step.position, Input::silence, 0, false, error);

            case Kind::play:
            case Kind::stopped:
            case Kind::noposition:
            {
                const auto transport = step.kind == Kind::play ? Transport::playing
                                     : step.kind == Kind::stopped ? Transport::stopped : Transport::none;
                juce::int64 done = 0;

                for (size_t i = 0; done < step.samples; ++i)
                {
                    const auto length = (int) std::min ((juce::int64) step.blocks.size (i), step.samples - done);
                    const bool ok = step.kind == Kind::play
                        ? call (length, transport, step.position + done, Input::timeline, step.position + done - regionAt, true, error)
                        : call (length, transport, step.position, Input::live, liveCursor, true, error);

                    if (! ok)
                        return false;

                    if (step.kind != Kind::play)
                        liveCursor += length;

                    done += length;
                }

                return true;
            }

            case Kind::edit:
            {
                const auto id = ids.at (step.parameter);
                edits.request (id, step.value);
                addPending (id, step.value);
                return true;
            }

            case Kind::wait:
                std::this_thread::sleep_for (std::chrono::milliseconds (step.milliseconds));
                return true;
        }

        return true;
    }

    const juce::AudioBuffer<float>& getRecording() const { return recording; }
    juce::int64 getCalls() const { return calls; }

private:
    /** One process call of `length` samples reporting `position`; input from the source at
        `sourceStart` (or silence); the output appended to the recording when `record`. */
    bool call (int length, Transport transport, juce::int64 position, Input input, juce::int64 sourceStart, bool record, juce::String& error)
    {
        for (int c = 0; c < channels; ++c)
        {
            auto* in = inputs.getWritePointer (c);
            const int from = juce::jmin (c, source.getNumChannels() - 1);

            for (int i = 0; i < length; ++i)
            {
                const auto at = sourceStart + i;
                in[i] = input != Input::silence && from >= 0 && at >= 0 && at < source.getNumSamples() ? source.getSample (from, (int) at) : 0.0f;
            }
        }

        // Through the raw pointers: the buffer's own "is clear" flag knows nothing of what the
        // plug-in wrote into them.
        for (int c = 0; c < channels; ++c)
            juce::FloatVectorOperations::clear (outputPointers[(size_t) c], length);

        changes.clear();
        pluginChanges.clear();

        for (const auto& [id, value] : pending)
            if (! changes.add (id, 0, value))
                return fail ("too many parameter changes in one call", error);

        pending.clear();

        if (input == Input::timeline)
        {
            for (auto& lane : automation)
            {
                auto point = std::lower_bound (lane->points.begin(), lane->points.end(), position,
                                               [] (const PlaySteps::Point& p, juce::int64 at) { return p.position < at; });

                for (; point != lane->points.end() && point->position < position + length; ++point)
                {
                    if (! changes.add (lane->id, (int32) (point->position - position), point->value))
                        return fail ("too many parameter changes in one call", error);

                    lane->sent.store (point->value);
                    lane->unsent.store (true, std::memory_order_release);
                }
            }
        }

        Vst::ProcessContext context {};
        context.state = Vst::ProcessContext::kTempoValid | Vst::ProcessContext::kContTimeValid
                      | (transport == Transport::playing ? Vst::ProcessContext::kPlaying : 0);
        context.sampleRate = sampleRate;
        context.projectTimeSamples = position;
        context.continousTimeSamples = continuousTime; // sic, the SDK's spelling
        context.tempo = bpm;

        Vst::AudioBusBuffers inputBus {}, outputBus {};
        inputBus.numChannels = channels;
        inputBus.channelBuffers32 = inputPointers.data();
        outputBus.numChannels = channels;
        outputBus.channelBuffers32 = outputPointers.data();

        Vst::ProcessData data {};
        data.processMode = offline ? Vst::kOffline : Vst::kRealtime;
        data.symbolicSampleSize = Vst::kSample32;
        data.numSamples = length;
        data.numInputs = 1;
        data.numOutputs = 1;
        data.inputs = &inputBus;
        data.outputs = &outputBus;
        data.inputParameterChanges = &changes;
        data.outputParameterChanges = &pluginChanges;
        data.processContext = transport == Transport::none ? nullptr : &context;

        if (processor.process (data) != kResultOk)
            return fail ("the plug-in refused process call " + juce::String (calls + 1), error);

        ++calls;
        continuousTime += length;

        if (record)
        {
            for (int c = 0; c < channels; ++c)
                recording.copyFrom (c, recorded, outputPointers[(size_t) c], length);

            recorded += length;
        }

        return true;
    }

    static bool fail (const juce::String& what, juce::String& error)
    {
        error = what;
        return false;
    }

    Vst::IAudioProcessor& processor;
    MainThreadEdits& edits;
    const juce::AudioBuffer<float>& source;
    const juce::int64 regionAt;
    const int channels;
    const double sampleRate, bpm;
    const bool offline;

    juce::AudioBuffer<float> inputs, outputs, recording;
    std::array<float*, 2> inputPointers {}, outputPointers {};
    struct Lane
    {
        Lane (Vst::ParamID idToUse, const std::vector<PlaySteps::Point>& pointsToSend) : id (idToUse), points (pointsToSend) {}

        const Vst::ParamID id;
        const std::vector<PlaySteps::Point>& points;
        // Written by the audio thread as it sends a point, read by the main thread.
        std::atomic<double> sent { 0.0 };
        std::atomic<bool> unsent { false };
    };

    HostParameterChanges changes, pluginChanges;
    std::vector<std::unique_ptr<Lane>> automation;
    std::vector<std::pair<Vst::ParamID, double>> pending;
    juce::int64 liveCursor = 0, continuousTime = 0, calls = 0;
    int recorded = 0;
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
        if (step.kind == PlaySteps::Step::Kind::edit)
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

bool startProcessing (Vst3Module& module, Vst::IAudioProcessor& processor, const Options& options, int maxBlock, juce::String& error)
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

    Vst::ProcessSetup setup { options.offline ? Vst::kOffline : Vst::kRealtime, Vst::kSample32, maxBlock, options.rate };

    if (processor.canProcessSampleSize (Vst::kSample32) != kResultTrue || processor.setupProcessing (setup) != kResultOk
        || component.setActive (true) != kResultOk)
    {
        error = "the plug-in refused the processing set-up";
        return false;
    }

    processor.setProcessing (true);
    return true;
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

    if (maxBlock < steps.largestCall() || steps.recordedSamples() > std::numeric_limits<int>::max())
    {
        TestHost::fail (maxBlock < steps.largestCall() ? "a step calls with more than --max-block samples" : "the recording is too long");
        return 2;
    }

    juce::AudioBuffer<float> source;
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
    CallPlayer player (*processor, edits, source, options, maxBlock, steps.recordedSamples());

    for (const auto& set : options.sets)
    {
        const auto id = ids.at (set.upToFirstOccurrenceOf ("=", false, false).trim());
        const auto value = set.fromFirstOccurrenceOf ("=", false, false).getDoubleValue();
        module.getController().setParamNormalized (id, value);
        player.addPending (id, value);
    }

    for (const auto& [name, points] : steps.points)
        player.addAutomation (ids.at (name), points);

    if (! startProcessing (module, *processor, options, maxBlock, error))
    {
        TestHost::fail (error);
        return 1;
    }

    std::atomic<bool> finished { false }, stopBusy { false };
    std::atomic<juce::int64> getStateCalls { 0 };
    bool ok = true;

    // Holds the plug-in's message thread, which its getState locks for the copy.
    std::thread busy;

    if (options.busyMessageThread)
        busy = std::thread ([&]
        {
            while (! stopBusy)
            {
                module.componentState();
                ++getStateCalls;
            }
        });

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
    }

    audio.join();
    player.updateController (module.getController());
    stopBusy = true;

    if (busy.joinable())
        busy.join();

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
        TestHost::print ("busy.getStateCalls=" + juce::String (getStateCalls.load()));

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
    TestHost::print ("result=ok");
    return 0;
}
