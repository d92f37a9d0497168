#include "Vst3CallPlayer.h"

#include "AudioThreadProbe.h"

#include <pluginterfaces/vst/ivstcomponent.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <thread>

using namespace Steinberg;

Vst3CallPlayer::Vst3CallPlayer (Vst::IAudioProcessor& processorToUse, MainThreadEdits& editsToUse,
                                const juce::AudioBuffer<float>& sourceToPlay, const Settings& settingsToUse)
    : processor (processorToUse), edits (editsToUse), source (sourceToPlay), settings (settingsToUse),
      inputs (settings.channels, settings.maxBlock), outputs (settings.channels, settings.maxBlock),
      recording (settings.channels, (int) settings.recordLength),
      doubleInputs (settings.channels, settings.maxBlock), doubleOutputs (settings.channels, settings.maxBlock),
      changes (settings.maxBlock + 16), pluginChanges (settings.maxBlock + 16),
      sampleRate (settings.sampleRate), offline (settings.offline)
{
    jassert (settings.channels >= 1 && settings.channels <= (int) inputPointers.size());
    recording.clear();
    pending.reserve (64);
    pendingQueues.reserve (HostParameterChanges::maxParameters);

    for (int c = 0; c < settings.channels; ++c)
    {
        inputPointers[(size_t) c] = inputs.getWritePointer (c);
        outputPointers[(size_t) c] = outputs.getWritePointer (c);
        doubleInputPointers[(size_t) c] = doubleInputs.getWritePointer (c);
        doubleOutputPointers[(size_t) c] = doubleOutputs.getWritePointer (c);
    }
}

void Vst3CallPlayer::addAutomation (Vst::ParamID id, const std::vector<PlaySteps::Point>& points)
{
    automation.push_back (std::make_unique<Lane> (id, points));
}

void Vst3CallPlayer::addPending (Vst::ParamID id, double value)
{
    pending.push_back ({ id, value });
}

void Vst3CallPlayer::updateController (Vst::IEditController& controller)
{
    for (auto& lane : automation)
        if (lane->unsent.exchange (false, std::memory_order_acquire))
            controller.setParamNormalized (lane->id, lane->sent.load());
}

bool Vst3CallPlayer::perform (const PlaySteps::Step& step, const std::map<juce::String, Vst::ParamID>& ids, juce::String& error)
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
        case Kind::call:
            return call ((int) step.samples, Transport::playing, step.position, Input::silence, 0, false, error);

        case Kind::speed:
        {
            juce::int64 done = 0;

            for (size_t i = 0; done < step.samples; ++i)
            {
                const auto length = (int) std::min ((juce::int64) step.blocks.size (i), step.samples - done);
                const auto position = step.position + (juce::int64) std::llround (step.value * (double) done);

                if (! call (length, Transport::playing, position, Input::live, liveCursor, true, error))
                    return false;

                liveCursor += length;
                done += length;
            }

            return true;
        }

        case Kind::call64:
            return callWithDoubles ((int) step.samples, step.position, error);

        case Kind::queue:
        case Kind::rampQueue:
            pendingQueues.push_back ({ ids.at (step.parameter), &step });
            return true;

        case Kind::queues:
            pendingQueues.push_back ({ 0, &step });
            return true;

        case Kind::reactivate:
            return reactivate (step, error);

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
                    ? call (length, transport, step.position + done, Input::timeline, step.position + done - settings.regionAt, true, error)
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

void Vst3CallPlayer::fillInput (int length, Input input, juce::int64 sourceStart)
{
    for (int c = 0; c < settings.channels; ++c)
    {
        auto* in = inputPointers[(size_t) c];
        const int from = juce::jmin (c, source.getNumChannels() - 1);

        for (int i = 0; i < length; ++i)
        {
            const auto at = sourceStart + i;
            const bool covered = input != Input::silence && from >= 0 && at >= 0 && at < source.getNumSamples();
            in[i] = covered ? source.getSample (from, (int) at) : 0.0f;
        }
    }
}

bool Vst3CallPlayer::reactivate (const PlaySteps::Step& step, juce::String& error)
{
    const auto newRate = step.value > 0.0 ? step.value : sampleRate;
    const auto newOffline = step.mode == PlaySteps::Step::Mode::unchanged ? offline : step.mode == PlaySteps::Step::Mode::offline;
    FUnknownPtr<Vst::IComponent> component (&processor);

    // As a DAW switches to an offline export or changes the rate: on its main thread, between calls.
    const bool ok = component != nullptr && edits.run ([&]
    {
        processor.setProcessing (false);
        component->setActive (false);
        Vst::ProcessSetup setup { newOffline ? Vst::kOffline : Vst::kRealtime, Vst::kSample32, settings.announcedMaxBlock, newRate };

        return processor.setupProcessing (setup) == kResultOk && component->setActive (true) == kResultOk
            && processor.setProcessing (true) == kResultOk;
    });

    if (! ok)
    {
        error = "the plug-in refused the re-activation";
        return false;
    }

    sampleRate = newRate;
    offline = newOffline;
    return true;
}

bool Vst3CallPlayer::queueChanges (int length, Input input, juce::int64 position)
{
    changes.clear();
    pluginChanges.clear();

    for (const auto& [id, value] : pending)
        if (! changes.add (id, 0, value))
            return false;

    pending.clear();

    for (const auto& [id, step] : pendingQueues)
    {
        if (step->kind == PlaySteps::Step::Kind::queues)
        {
            changes.claimQueues ((int32) step->claimed, step->repeatLast);
            continue;
        }

        if (step->kind == PlaySteps::Step::Kind::rampQueue)
        {
            if (! changes.addRamp (id, (int32) step->claimed, step->value, step->lastValue))
                return false;

            continue;
        }

        if (! changes.addRaw (id, (int32) step->claimed))
            return false;

        for (const auto& point : step->queuePoints)
            if (! changes.appendRaw (point.offset, point.value))
                return false;
    }

    pendingQueues.clear();

    if (input != Input::timeline)
        return true;

    for (auto& lane : automation)
    {
        auto point = std::lower_bound (lane->points.begin(), lane->points.end(), position,
                                       [] (const PlaySteps::Point& p, juce::int64 at) { return p.position < at; });

        for (; point != lane->points.end() && point->position < position + length; ++point)
        {
            if (! changes.add (lane->id, (int32) (point->position - position), point->value))
                return false;

            lane->sent.store (point->value);
            lane->unsent.store (true, std::memory_order_release);
        }
    }

    return true;
}

void Vst3CallPlayer::describeCall (CallData& call, int length, Transport transport, juce::int64 position, Steinberg::int32 sampleSize)
{
    call.context.state = Vst::ProcessContext::kTempoValid | Vst::ProcessContext::kContTimeValid
                       | (transport == Transport::playing ? Vst::ProcessContext::kPlaying : 0);
    call.context.sampleRate = sampleRate;
    call.context.projectTimeSamples = position;
    call.context.continousTimeSamples = continuousTime; // sic, the SDK's spelling
    call.context.tempo = settings.bpm;

    call.inputBus.numChannels = settings.channels;
    call.outputBus.numChannels = settings.channels;

    auto& data = call.data;
    data.processMode = offline ? Vst::kOffline : Vst::kRealtime;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = length;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &call.inputBus;
    data.outputs = &call.outputBus;
    data.inputParameterChanges = &changes;
    data.outputParameterChanges = &pluginChanges;
    data.processContext = transport == Transport::none ? nullptr : &call.context;
}

/** One playing call of `length` samples reporting `position`, with 64-bit buffers (kSample64)
    after a set-up of 32-bit samples; whether the plug-in refuses it or not, the run goes on. */
bool Vst3CallPlayer::callWithDoubles (int length, juce::int64 position, juce::String& error)
{
    for (int c = 0; c < settings.channels; ++c)
    {
        std::fill (doubleInputPointers[(size_t) c], doubleInputPointers[(size_t) c] + length, 0.3);
        std::fill (doubleOutputPointers[(size_t) c], doubleOutputPointers[(size_t) c] + length, 7.0);
    }

    if (! queueChanges (length, Input::silence, position))
    {
        error = "too many parameter changes in one call";
        return false;
    }

    CallData call;
    describeCall (call, length, Transport::playing, position, Vst::kSample64);
    call.inputBus.channelBuffers64 = doubleInputPointers.data();
    call.outputBus.channelBuffers64 = doubleOutputPointers.data();

    ++doubleCalls.made;

    if (processor.process (call.data) != kResultOk)
        ++doubleCalls.refused;

    ++calls;
    continuousTime += length;

    for (int c = 0; c < settings.channels; ++c)
        for (int i = 0; i < length; ++i)
            doubleCalls.changedSamples += (doubleInputPointers[(size_t) c][i] != 0.3) + (doubleOutputPointers[(size_t) c][i] != 7.0);

    return true;
}

/** One process call of `length` samples reporting `position`; input from the source at
    `sourceStart` (or silence); the output appended to the recording when `record`. A negative
    length, or one beyond the host's buffers, is told to the plug-in as it is, with buffers
    holding what they can (nothing, or the largest call of the other steps). */
bool Vst3CallPlayer::call (int length, Transport transport, juce::int64 position, Input input, juce::int64 sourceStart, bool record,
                           juce::String& error)
{
    const auto samples = std::clamp (length, 0, settings.maxBlock);
    fillInput (samples, input, sourceStart);

    // Through the raw pointers: the buffer's own "is clear" flag knows nothing of what the
    // plug-in wrote into them.
    for (int c = 0; c < settings.channels; ++c)
        juce::FloatVectorOperations::clear (outputPointers[(size_t) c], samples);

    if (! queueChanges (samples, input, position))
    {
        error = "too many parameter changes in one call";
        return false;
    }

    CallData call;
    describeCall (call, length, transport, position, Vst::kSample32);
    call.inputBus.channelBuffers32 = inputPointers.data();
    call.outputBus.channelBuffers32 = outputPointers.data();

    std::optional<AudioThreadProbe::Scope> probe;

    if (settings.probeAfterCalls >= 0 && calls >= settings.probeAfterCalls)
    {
        probe.emplace();
        ++probedCalls;
    }

    const auto result = processor.process (call.data);
    probe.reset();

    if (result != kResultOk)
    {
        error = "the plug-in refused process call " + juce::String (calls + 1);
        return false;
    }

    ++calls;
    continuousTime += samples;

    if (record)
    {
        for (int c = 0; c < settings.channels; ++c)
            recording.copyFrom (c, recorded, outputPointers[(size_t) c], samples);

        recorded += samples;
    }

    return true;
}
