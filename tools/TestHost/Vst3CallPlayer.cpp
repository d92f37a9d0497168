#include "Vst3CallPlayer.h"

#include <pluginterfaces/vst/ivstprocesscontext.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace Steinberg;

Vst3CallPlayer::Vst3CallPlayer (Vst::IAudioProcessor& processorToUse, MainThreadEdits& editsToUse,
                                const juce::AudioBuffer<float>& sourceToPlay, const Settings& settingsToUse)
    : processor (processorToUse), edits (editsToUse), source (sourceToPlay), settings (settingsToUse),
      inputs (settings.channels, settings.maxBlock), outputs (settings.channels, settings.maxBlock),
      recording (settings.channels, (int) settings.recordLength),
      changes (settings.maxBlock + 16), pluginChanges (settings.maxBlock + 16)
{
    jassert (settings.channels >= 1 && settings.channels <= (int) inputPointers.size());
    recording.clear();
    pending.reserve (64);

    for (int c = 0; c < settings.channels; ++c)
    {
        inputPointers[(size_t) c] = inputs.getWritePointer (c);
        outputPointers[(size_t) c] = outputs.getWritePointer (c);
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

bool Vst3CallPlayer::queueChanges (int length, Input input, juce::int64 position)
{
    changes.clear();
    pluginChanges.clear();

    for (const auto& [id, value] : pending)
        if (! changes.add (id, 0, value))
            return false;

    pending.clear();

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

/** One process call of `length` samples reporting `position`; input from the source at
    `sourceStart` (or silence); the output appended to the recording when `record`. */
bool Vst3CallPlayer::call (int length, Transport transport, juce::int64 position, Input input, juce::int64 sourceStart, bool record,
                           juce::String& error)
{
    fillInput (length, input, sourceStart);

    // Through the raw pointers: the buffer's own "is clear" flag knows nothing of what the
    // plug-in wrote into them.
    for (int c = 0; c < settings.channels; ++c)
        juce::FloatVectorOperations::clear (outputPointers[(size_t) c], length);

    if (! queueChanges (length, input, position))
    {
        error = "too many parameter changes in one call";
        return false;
    }

    Vst::ProcessContext context {};
    context.state = Vst::ProcessContext::kTempoValid | Vst::ProcessContext::kContTimeValid
                  | (transport == Transport::playing ? Vst::ProcessContext::kPlaying : 0);
    context.sampleRate = settings.sampleRate;
    context.projectTimeSamples = position;
    context.continousTimeSamples = continuousTime; // sic, the SDK's spelling
    context.tempo = settings.bpm;

    Vst::AudioBusBuffers inputBus {}, outputBus {};
    inputBus.numChannels = settings.channels;
    inputBus.channelBuffers32 = inputPointers.data();
    outputBus.numChannels = settings.channels;
    outputBus.channelBuffers32 = outputPointers.data();

    Vst::ProcessData data {};
    data.processMode = settings.offline ? Vst::kOffline : Vst::kRealtime;
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
    {
        error = "the plug-in refused process call " + juce::String (calls + 1);
        return false;
    }

    ++calls;
    continuousTime += length;

    if (record)
    {
        for (int c = 0; c < settings.channels; ++c)
            recording.copyFrom (c, recorded, outputPointers[(size_t) c], length);

        recorded += length;
    }

    return true;
}
