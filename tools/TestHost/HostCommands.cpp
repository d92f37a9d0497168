#include "HostCommands.h"

#include "RenderTimer.h"
#include "TestHost.h"
#include "TestSignal.h"
#include "WavFile.h"

#include <iostream>
#include <thread>

namespace
{
/** Reads "--name value" options and repeated "--set" pairs. */
struct Options
{
    explicit Options (const juce::StringArray& args)
    {
        for (int i = 0; i < args.size(); ++i)
        {
            if (! args[i].startsWith ("--"))
            {
                positional.add (args[i]);
                continue;
            }

            const auto name = args[i].substring (2);
            const bool isFlag = name == "no-playhead" || name == "time";
            const auto value = (isFlag || i + 1 >= args.size()) ? juce::String() : args[++i];

            if (name == "set")
                sets.add (value);
            else
                values.set (name, isFlag ? "1" : value);
        }
    }

    juce::String get (const juce::String& name, const juce::String& fallback = {}) const
    {
        return values.getValue (name, fallback);
    }

    bool has (const juce::String& name) const { return values.containsKey (name); }

    juce::StringArray positional;
    juce::StringArray sets;
    juce::StringPairArray values;
};

/** A transport that plays from the start at a fixed tempo, as a host's play head would. */
class FixedTempoPlayHead : public juce::AudioPlayHead
{
public:
    FixedTempoPlayHead (double sampleRateToUse, juce::Optional<double> bpmToUse)
        : sampleRate (sampleRateToUse), bpm (bpmToUse) {}

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setTimeInSamples (samplePosition);
        info.setTimeInSeconds ((double) samplePosition / sampleRate);
        info.setIsPlaying (true);

        if (bpm.hasValue())
            info.setBpm (*bpm);

        return info;
    }

    void advance (int numSamples) { samplePosition += numSamples; }

private:
    double sampleRate;
    juce::Optional<double> bpm;
    juce::int64 samplePosition = 0;
};

juce::String layoutName (const juce::AudioChannelSet& set)
{
    return set.isDisabled() ? juce::String ("disabled") : set.getDescription();
}
} // namespace

void HostCommands::printUsage()
{
    std::cerr << "usage: ondula_test_host list <bundle>\n"
                 "       ondula_test_host render <bundle> --out out.wav [--in in.wav | --signal impulse|sine|noise|clicks|silence]\n"
                 "              [--seconds s] [--rate hz] [--blocks n[,n...]] [--channels 1|2] [--bpm b] [--no-playhead]\n"
                 "              [--set id=value]... [--state-in file] [--state-out file] [--write-input file] [--time]\n"
                 "       ondula_test_host state <bundle> [--set id=value]... [--component-out file] [--load file]...\n"
                 "       ondula_test_host controller <bundle> [--set id=value|nan]...\n"
                 "       ondula_test_host play <bundle> --out out.wav (--steps 'step; ...' | --steps-file file)\n"
                 "              [--in in.wav | --signal impulse|sine|noise|clicks|silence --seconds s] [--region-at pos]\n"
                 "              [--rate hz] [--channels 1|2] [--bpm b] [--offline] [--max-block n] [--component-in file]\n"
                 "              [--tree-in tree.xml] [--set id=value]... [--busy-message-thread] [--state-out file]\n"
                 "       ondula_test_host open-editor <bundle> [--cycles n] [--hold-ms ms]\n";
}

int HostCommands::list (const juce::StringArray& args)
{
    const Options options (args);

    if (options.positional.isEmpty())
    {
        printUsage();
        return 2;
    }

    auto plugin = TestHost::loadOrReport (options.positional[0], 48000.0, 512);

    if (plugin == nullptr)
        return 1;

    const auto description = plugin->getPluginDescription();
    TestHost::print ("name=" + description.name);
    TestHost::print ("vendor=" + description.manufacturerName);
    TestHost::print ("category=" + description.category);
    TestHost::print ("version=" + description.version);
    TestHost::print ("format=" + description.pluginFormatName);
    TestHost::print ("acceptsMidi=" + juce::String ((int) plugin->acceptsMidi()));
    TestHost::print ("producesMidi=" + juce::String ((int) plugin->producesMidi()));
    TestHost::print ("hasEditor=" + juce::String ((int) plugin->hasEditor()));

    for (const bool isInput : { true, false })
        for (int i = 0; i < plugin->getBusCount (isInput); ++i)
            if (auto* bus = plugin->getBus (isInput, i))
                TestHost::print (juce::String (isInput ? "input" : "output") + juce::String (i) + "=" + bus->getName()
                       + ";" + layoutName (bus->getDefaultLayout()));

    struct Candidate
    {
        const char* name;
        juce::AudioChannelSet in, out;
    };

    const Candidate candidates[] = {
        { "mono>mono", juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono() },
        { "stereo>stereo", juce::AudioChannelSet::stereo(), juce::AudioChannelSet::stereo() },
        { "mono>stereo", juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo() },
        { "stereo>mono", juce::AudioChannelSet::stereo(), juce::AudioChannelSet::mono() },
        { "disabled>stereo", juce::AudioChannelSet::disabled(), juce::AudioChannelSet::stereo() },
        { "5.1>5.1", juce::AudioChannelSet::create5point1(), juce::AudioChannelSet::create5point1() },
    };

    for (const auto& candidate : candidates)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (candidate.in);
        layout.outputBuses.add (candidate.out);
        TestHost::print (juce::String ("layout.") + candidate.name + "=" + (plugin->checkBusesLayoutSupported (layout) ? "accepted" : "refused"));
    }

    plugin->prepareToPlay (48000.0, 512);
    TestHost::print ("latency=" + juce::String (plugin->getLatencySamples()));
    TestHost::print ("tail=" + juce::String (plugin->getTailLengthSeconds()));
    TestHost::print ("programs=" + juce::String (plugin->getNumPrograms()));

    for (int i = 0; i < plugin->getNumPrograms(); ++i)
        TestHost::print ("program" + juce::String (i) + "=" + plugin->getProgramName (i));

    // The framework's hosting lists programs only behind a program-change parameter; a VST3 host
    // (and the conformance validator) reads the program lists themselves.
    const auto vst3Programs = TestHost::vst3ProgramNames (*plugin);
    TestHost::print ("vst3.programs=" + juce::String (vst3Programs.size()));

    for (const auto& program : vst3Programs)
        TestHost::print ("vst3.program" + program);

    const auto& parameters = plugin->getParameters();
    TestHost::print ("parameters=" + juce::String (parameters.size()));

    for (auto* parameter : parameters)
    {
        juce::String id;

        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (parameter))
            id = hosted->getParameterID();

        TestHost::print ("parameter" + juce::String (parameter->getParameterIndex())
               + " id=" + id
               + "|name=" + parameter->getName (1024)
               + "|label=" + parameter->getLabel()
               + "|default=" + juce::String (parameter->getDefaultValue())
               + "|value=" + juce::String (parameter->getValue())
               + "|text=" + parameter->getText (parameter->getDefaultValue(), 1024)
               + "|steps=" + juce::String (parameter->getNumSteps())
               + "|discrete=" + juce::String ((int) parameter->isDiscrete())
               + "|automatable=" + juce::String ((int) parameter->isAutomatable()));
    }

    if (auto* bypass = plugin->getBypassParameter())
        TestHost::print ("bypass=" + bypass->getName (1024));

    plugin->releaseResources();
    return 0;
}

int HostCommands::render (const juce::StringArray& args)
{
    const Options options (args);

    if (options.positional.isEmpty() || ! options.has ("out"))
    {
        printUsage();
        return 2;
    }

    double sampleRate = options.get ("rate", "48000").getDoubleValue();
    const int channels = juce::jlimit (1, 2, options.get ("channels", "2").getIntValue());
    juce::AudioBuffer<float> input;

    if (options.has ("in"))
    {
        if (! WavFile::read (juce::File::getCurrentWorkingDirectory().getChildFile (options.get ("in")), input, sampleRate))
        {
            TestHost::fail ("cannot read " + options.get ("in"));
            return 1;
        }
    }
    else
    {
        const auto seconds = options.get ("seconds", "2").getDoubleValue();
        input = TestSignal::make (options.get ("signal", "impulse"), channels, (int) (seconds * sampleRate), sampleRate);
    }

    juce::Array<int> blockSizes;

    for (const auto& size : juce::StringArray::fromTokens (options.get ("blocks", "512"), ",", {}))
        blockSizes.add (juce::jmax (1, size.getIntValue()));

    int maximumBlock = 1;

    for (auto size : blockSizes)
        maximumBlock = juce::jmax (maximumBlock, size);

    auto plugin = TestHost::loadOrReport (options.positional[0], sampleRate, maximumBlock);

    if (plugin == nullptr)
        return 1;

    const auto set = input.getNumChannels() == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);

    if (! plugin->setBusesLayout (layout))
    {
        TestHost::fail ("layout refused");
        return 1;
    }

    if (options.has ("write-input") && ! WavFile::write (juce::File::getCurrentWorkingDirectory().getChildFile (options.get ("write-input")), input, sampleRate))
    {
        TestHost::fail ("cannot write " + options.get ("write-input"));
        return 1;
    }

    if (options.has ("state-in"))
    {
        juce::MemoryBlock state;

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (options.get ("state-in")).loadFileAsData (state))
        {
            TestHost::fail ("cannot read " + options.get ("state-in"));
            return 1;
        }

        plugin->setStateInformation (state.getData(), (int) state.getSize());
    }

    if (! TestHost::applySets (*plugin, options.sets))
        return 1;

    TestHost::pumpMessages (100);

    const auto bpm = options.has ("bpm") ? juce::Optional<double> (options.get ("bpm").getDoubleValue()) : juce::nullopt;
    FixedTempoPlayHead playHead (sampleRate, bpm);

    if (! options.has ("no-playhead"))
        plugin->setPlayHead (&playHead);

    plugin->setRateAndBufferSizeDetails (sampleRate, maximumBlock);
    plugin->prepareToPlay (sampleRate, maximumBlock);

    juce::AudioBuffer<float> output (input.getNumChannels(), input.getNumSamples());
    std::atomic<bool> finished { false };
    RenderTimer timer;

    // Audio runs on its own thread, as in a DAW, while this thread serves the message loop.
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (input.getNumChannels(), maximumBlock);
        juce::MidiBuffer midi;
        int position = 0;

        for (int b = 0; position < input.getNumSamples(); ++b)
        {
            const int length = juce::jmin (blockSizes[b % blockSizes.size()], input.getNumSamples() - position);
            block.setSize (input.getNumChannels(), length, false, false, true);

            for (int c = 0; c < input.getNumChannels(); ++c)
                block.copyFrom (c, 0, input, c, position, length);

            timer.blockStarted();
            plugin->processBlock (block, midi);
            timer.blockFinished();

            for (int c = 0; c < input.getNumChannels(); ++c)
                output.copyFrom (c, position, block, c, 0, length);

            playHead.advance (length);
            position += length;
        }

        finished = true;
    });

    while (! finished)
        TestHost::pumpMessages (5);

    audio.join();
    TestHost::pumpMessages (50);
    plugin->releaseResources();

    if (options.has ("state-out"))
    {
        juce::MemoryBlock state;
        plugin->getStateInformation (state);

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (options.get ("state-out")).replaceWithData (state.getData(), state.getSize()))
        {
            TestHost::fail ("cannot write " + options.get ("state-out"));
            return 1;
        }
    }

    if (! WavFile::write (juce::File::getCurrentWorkingDirectory().getChildFile (options.get ("out")), output, sampleRate))
    {
        TestHost::fail ("cannot write " + options.get ("out"));
        return 1;
    }

    int nonFinite = 0;

    for (int c = 0; c < output.getNumChannels(); ++c)
    {
        for (int i = 0; i < output.getNumSamples(); ++i)
            if (! std::isfinite (output.getSample (c, i)))
                ++nonFinite;

        TestHost::print ("channel" + juce::String (c) + ".peak=" + juce::String (output.getMagnitude (c, 0, output.getNumSamples())));
        TestHost::print ("channel" + juce::String (c) + ".rms=" + juce::String (output.getRMSLevel (c, 0, output.getNumSamples())));
    }

    TestHost::print ("samples=" + juce::String (output.getNumSamples()));
    TestHost::print ("nonfinite=" + juce::String (nonFinite));

    if (options.has ("time"))
        timer.report (output.getNumSamples(), sampleRate);
    return 0;
}
