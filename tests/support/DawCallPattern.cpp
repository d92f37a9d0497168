#include "DawCallPattern.h"

#include "support/MessagePump.h"

#include <cmath>
#include <limits>
#include <random>

juce::Optional<juce::AudioPlayHead::PositionInfo> DawCallPattern::Transport::getPosition() const
{
    PositionInfo info;
    info.setBpm (120.0);
    info.setIsPlaying (playing);

    if (hasPosition)
    {
        info.setTimeInSamples (position);
        info.setTimeInSeconds ((double) position / rate);
    }

    return info;
}

DawCallPattern::DawCallPattern (double sampleRate, int maximumBlock)
    : rate (sampleRate), plugin (std::make_unique<OndulaDelayAudioProcessor>()), buffer (2, maximumBlock)
{
    transport.rate = rate;
    plugin->setPlayHead (&transport);
    plugin->prepareToPlay (rate, maximumBlock);
}

DawCallPattern::~DawCallPattern()
{
    plugin->setPlayHead (nullptr);
}

juce::RangedAudioParameter& DawCallPattern::parameter (const juce::String& id)
{
    auto* p = plugin->parameters.getParameter (id);
    jassert (p != nullptr);
    return *p;
}

juce::ValueTree DawCallPattern::nodeOf (OndulaDelayAudioProcessor& p, const char* group, const char* type)
{
    return p.stateTree.getChildWithName (group).getChildWithName (type);
}

void DawCallPattern::strongModulation (OndulaDelayAudioProcessor& p, bool fullSpeed)
{
    nodeOf (p, "delay", "delay_globals_ondula").setProperty ("amount", 1.0, nullptr);

    if (fullSpeed)
        nodeOf (p, "delay", "delay_globals_ondula").setProperty ("velocity", 1.0, nullptr);

    for (const auto* type : { "ondula_frequency", "ondula_amplitude", "ondula_pan", "ondula_delay" })
        nodeOf (p, "ondula", type).setProperty ("scale", 1.0, nullptr);

    nodeOf (p, "delay", "delay_globals_dynamics").setProperty ("dry", 0.0, nullptr);
    nodeOf (p, "delay", "delay_globals_dynamics").setProperty ("wet", 1.0, nullptr);
}

void DawCallPattern::point (const juce::String& parameterId, juce::int64 position, float value)
{
    points.push_back ({ parameter (parameterId).getParameterIndex(), position, value });
}

void DawCallPattern::controllerEdit (const juce::String& parameterId, float value)
{
    auto& p = parameter (parameterId);

    if (p.getValue() == value)
        return;

    plugin->hostControllerEdit (p.getParameterIndex(), value);
    p.setValueNotifyingHost (value);
}

void DawCallPattern::serveMessageThread (int milliseconds)
{
    MessagePump::run (milliseconds);
    plugin->writeBackUnheardHostChanges();
}

std::vector<float> DawCallPattern::interleavedRecording() const
{
    std::vector<float> out;

    for (size_t i = 0; i < recording[0].size(); ++i)
        for (const auto& channel : recording)
            out.push_back (channel[i]);

    return out;
}

juce::AudioBuffer<float> DawCallPattern::noiseThenSilence (double sampleRate, double noiseSeconds, double seconds)
{
    juce::AudioBuffer<float> signal (2, (int) (seconds * sampleRate));
    signal.clear();
    std::mt19937 random (3);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

    for (int i = 0; i < (int) (noiseSeconds * sampleRate); ++i)
        for (int c = 0; c < 2; ++c)
            signal.setSample (c, i, noise (random));

    return signal;
}

void DawCallPattern::idle (int calls, int block, juce::int64 position)
{
    for (int i = 0; i < calls; ++i)
        call (block, false, position, true, Input::silence, false);
}

void DawCallPattern::preroll (int samples, juce::int64 position)
{
    call (samples, true, position, true, Input::silence, false);
}

void DawCallPattern::play (juce::int64 from, int samples, const std::vector<int>& blocks, bool firstOnce)
{
    size_t next = 0;

    for (int done = 0; done < samples;)
    {
        const size_t index = firstOnce && next > 0 ? 1 + (next - 1) % (blocks.size() - 1) : next % blocks.size();
        const int length = std::min (blocks[index], samples - done);
        ++next;
        call (length, true, from + done, true, Input::timeline, true);
        done += length;
    }
}

void DawCallPattern::moving (juce::int64 from, int samples, const std::vector<int>& blocks, double speed)
{
    size_t next = 0;

    for (int done = 0; done < samples;)
    {
        const int length = std::min (blocks[next++ % blocks.size()], samples - done);
        call (length, true, from + (juce::int64) std::llround (speed * done), true, Input::live, true);
        done += length;
    }
}

void DawCallPattern::reactivate (double sampleRate, bool offline)
{
    rate = sampleRate;
    transport.rate = rate;
    plugin->releaseResources();
    plugin->setNonRealtime (offline);
    plugin->setRateAndBufferSizeDetails (rate, buffer.getNumSamples());
    plugin->prepareToPlay (rate, buffer.getNumSamples());
}

void DawCallPattern::stopped (int samples, const std::vector<int>& blocks, juce::int64 position, bool withPosition)
{
    size_t next = 0;

    for (int done = 0; done < samples;)
    {
        const int length = std::min (blocks[next++ % blocks.size()], samples - done);
        call (length, false, position, withPosition, Input::live, true);
        done += length;
    }
}

void DawCallPattern::call (int samples, bool playing, juce::int64 position, bool withPosition, Input input, bool record)
{
    juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), 2, 0, samples);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < samples; ++i)
        {
            const juce::int64 at = input == Input::live ? liveCursor + i : position + i - regionStart;
            const bool covered = input != Input::silence && at >= 0 && at < source.getNumSamples();
            block.setSample (c, i, covered ? source.getSample (juce::jmin (c, source.getNumChannels() - 1), (int) at) : 0.0f);
        }

    if (input == Input::live)
        liveCursor += samples;

    // The client puts the call's process context in place, tells the plug-in that the call
    // begins, hands every point of its queues over, then sets each parameter to its queue's last
    // point.
    transport.playing = playing;
    transport.hasPosition = withPosition;
    transport.position = position;
    plugin->hostCallBegins (samples);

    if (playing)
    {
        for (auto* p : plugin->getParameters())
        {
            float last = std::numeric_limits<float>::quiet_NaN();

            for (const auto& pt : points)
                if (pt.parameterIndex == p->getParameterIndex() && pt.position >= position && pt.position < position + samples)
                {
                    plugin->hostParameterPoint (pt.parameterIndex, (int) (pt.position - position), pt.value);
                    last = pt.value;
                }

            if (! std::isnan (last) && p->getValue() != last)
            {
                p->setValue (last);
                plugin->hostParameterSet (p->getParameterIndex());
            }
        }
    }

    juce::MidiBuffer midi;
    plugin->processBlock (block, midi);

    if (record)
        for (int c = 0; c < 2; ++c)
            recording[c].insert (recording[c].end(), block.getReadPointer (c), block.getReadPointer (c) + samples);
}
