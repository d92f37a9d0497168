#include "support/DefaultState.h"
#include "support/ParameterTable.h"
#include "support/ProcessorFixture.h"

#include <cstring>
#include <limits>

using PluginProcessorTest = ProcessorFixture;

TEST_F (PluginProcessorTest, DefaultTreeIsWrittenExactlyInCreationOrder)
{
    const auto xml = processor->stateTree.createXml();
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()), juce::String (DefaultState::treeXml));
}

TEST_F (PluginProcessorTest, DefaultsKeepTheirTypesAndSinglePrecisionValues)
{
    const auto frequency = node ("automation_frequency");
    EXPECT_EQ ((double) frequency["value"], 0.20000000298023224);
    EXPECT_EQ (frequency["curve"].toString(), "0 1 -0.1\n1 0 0\n");

    EXPECT_TRUE (node ("delay_pattern")["time_mode"].isInt());
    EXPECT_EQ ((int) node ("delay_pattern")["time_mode"], 0);

    for (const auto* type : { "delay_globals", "delay_globals_ondula", "delay_globals_time" })
    {
        EXPECT_TRUE (node (type)["time_mode"].isInt()) << type;
        EXPECT_EQ ((int) node (type)["time_mode"], 1) << type;
    }

    EXPECT_TRUE (node ("delay_globals_time")["pattern_mode"].isInt());
    EXPECT_TRUE (processor->stateTree["version"].isInt());
}

TEST_F (PluginProcessorTest, HostParametersAreTheThirtyOfTheTableWithTheirOwnDefaults)
{
    const auto& parameters = processor->getParameters();
    ASSERT_EQ (parameters.size(), 30);

    for (int i = 0; i < parameters.size(); ++i)
    {
        const auto& expected = ParameterTable::rows[i];
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameters[i]);
        ASSERT_NE (ranged, nullptr);

        EXPECT_EQ (ranged->getParameterID(), expected.id);
        EXPECT_EQ (ranged->getName (1024), expected.name);
        EXPECT_EQ (ranged->getLabel(), "");
        EXPECT_TRUE (ranged->isAutomatable());
        EXPECT_EQ (ranged->getDefaultValue(), 0.5f) << expected.id;

        const auto& range = ranged->getNormalisableRange();
        EXPECT_EQ (range.start, 0.0f);
        EXPECT_EQ (range.end, expected.isMode ? 2.0f : 1.0f);
        EXPECT_EQ (ranged->getText (ranged->getDefaultValue(), 1024), expected.isMode ? "1" : "0.5000000");
        EXPECT_EQ (ranged->isDiscrete(), expected.isMode);

        if (expected.isMode)
        {
            EXPECT_EQ (ranged->getNumSteps(), 3);
        }
    }
}

TEST_F (PluginProcessorTest, EveryParameterOfAFreshInstanceReadsItsTreeValueAndKeepsItsDefault)
{
    // The host must read the tree value (normalised), not the declared default of 0.5.
    const struct { const char* id; const char* node; const char* property; float value; } cases[] = {
        { "automation_frequency_value", "automation_frequency", "value", 0.2f },
        { "automation_frequency_amount", "automation_frequency", "scale_y", 0.3f },
        { "automation_amplitude_value", "automation_amplitude", "value", 0.0f },
        { "automation_amplitude_amount", "automation_amplitude", "scale_y", 1.0f },
        { "automation_pan_amount", "automation_pan", "scale_y", 0.0f },
        { "ondula_frequency_amount", "ondula_frequency", "scale", 0.25f },
        { "ondula_frequency_phase", "ondula_frequency", "phase", 0.0f },
        { "ondula_bandwidth_phase", "ondula_bandwidth", "phase", 0.75f },
        { "delay_globals_ondula_time_mode", "delay_globals_ondula", "time_mode", 0.5f },
        { "delay_globals_time_pattern_mode", "delay_globals_time", "pattern_mode", 0.0f },
        { "delay_globals_dynamics_compressor_threshold", "delay_globals_dynamics", "compressor_threshold", 1.0f },
        { "delay_globals_dynamics_wet", "delay_globals_dynamics", "wet", 0.5f },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (parameter (c.id).getValue(), c.value) << c.id;
        EXPECT_EQ (parameter (c.id).convertFrom0to1 (c.value), (float) (double) node (c.node)[c.property]) << c.id;
    }

    for (const auto& attachment : processor->parameterAttachments)
    {
        auto& p = attachment->parameter;
        EXPECT_EQ (p.getValue(), p.convertTo0to1 ((float) (double) attachment->tree[attachment->property])) << p.getParameterID();
        EXPECT_EQ (p.getDefaultValue(), 0.5f) << p.getParameterID();
    }

    // Aligning wrote nothing back: the modes are still the ints the tree was built with.
    EXPECT_TRUE (node ("delay_globals_time")["time_mode"].isInt());
    EXPECT_TRUE (node ("delay_globals_time")["pattern_mode"].isInt());
}

TEST_F (PluginProcessorTest, AcceptsOnlyMatchingMonoOrStereoLayouts)
{
    using Set = juce::AudioChannelSet;
    const struct { Set in, out; bool accepted; } cases[] = {
        { Set::mono(), Set::mono(), true },
        { Set::stereo(), Set::stereo(), true },
        { Set::mono(), Set::stereo(), false },
        { Set::stereo(), Set::mono(), false },
        { Set::disabled(), Set::stereo(), false },
        { Set::disabled(), Set::mono(), false },
        { Set::stereo(), Set::disabled(), false },
        { Set::create5point1(), Set::create5point1(), false },
        { Set::discreteChannels (2), Set::discreteChannels (2), false },
    };

    for (const auto& c : cases)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (c.in);
        layout.outputBuses.add (c.out);
        EXPECT_EQ (processor->checkBusesLayoutSupported (layout), c.accepted)
            << c.in.getDescription() << " > " << c.out.getDescription();
    }
}

TEST_F (PluginProcessorTest, ReportsItsFixedIdentity)
{
    EXPECT_EQ (processor->getName(), "Ondula Delay Free");
    EXPECT_EQ (processor->getTailLengthSeconds(), std::numeric_limits<double>::infinity());
    EXPECT_EQ (processor->getLatencySamples(), 0);
    EXPECT_FALSE (processor->acceptsMidi());
    EXPECT_FALSE (processor->producesMidi());
    EXPECT_FALSE (processor->isMidiEffect());
    EXPECT_EQ (processor->getNumPrograms(), 1);
    EXPECT_EQ (processor->getCurrentProgram(), 0);
    EXPECT_EQ (processor->getProgramName (0), "Default");
    EXPECT_EQ (processor->getProgramName (1), "");
    EXPECT_EQ (processor->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor->getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor->commandLine.colours.find_first_not_of ('1'), std::string::npos);
    EXPECT_FALSE (processor->commandLine.text.empty());
}

TEST_F (PluginProcessorTest, PresetNameIsReadFromTheRoot)
{
    auto& presets = processor->presetManager;
    EXPECT_EQ (presets.getPresetName(), "Default Preset");

    processor->stateTree.setProperty ("preset_name", juce::String::fromUTF8 ("Caf\xc3\xa9 & Co"), nullptr);
    EXPECT_EQ (presets.getPresetName(), "Caf\xc3\xa9 & Co");

    processor->stateTree.removeProperty ("preset_name", nullptr);
    EXPECT_EQ (presets.getPresetName(), "");
}

TEST_F (PluginProcessorTest, TempoFromThePlayHeadReachesTheSharedContext)
{
    struct PlayHead : juce::AudioPlayHead
    {
        juce::Optional<PositionInfo> getPosition() const override { return info; }
        juce::Optional<PositionInfo> info;
    } playHead;

    processor->setPlayHead (&playHead);
    processor->prepareToPlay (48000.0, 64);
    juce::AudioBuffer<float> buffer (2, 64);
    juce::MidiBuffer midi;

    const auto runWith = [&] (juce::Optional<double> bpm)
    {
        juce::AudioPlayHead::PositionInfo position;
        if (bpm.hasValue())
            position.setBpm (*bpm);
        playHead.info = position;
        buffer.clear();
        processor->processBlock (buffer, midi);
        return processor->mappingFunctions.secondsPerBeat.load();
    };

    EXPECT_EQ (runWith (90.0), 1.0f / (90.0f / 60.0f));
    EXPECT_EQ (runWith (0.0), 1.0f / (90.0f / 60.0f));   // a tempo of 0 changes nothing
    EXPECT_EQ (runWith (juce::nullopt), 0.5f);           // no tempo means 120 bpm

    playHead.info = juce::nullopt;
    processor->mappingFunctions.secondsPerBeat = 0.3f;
    buffer.clear();
    processor->processBlock (buffer, midi);
    EXPECT_EQ (processor->mappingFunctions.secondsPerBeat.load(), 0.3f); // no position: untouched

    processor->prepareToPlay (44100.0, 128);
    EXPECT_EQ (processor->mappingFunctions.secondsPerBeat.load(), 0.5f);
    processor->setPlayHead (nullptr);
}

TEST_F (PluginProcessorTest, AnyAnnouncedBlockSizeIsPreparedSafelyAndFullyDryGivesTheInputExactly)
{
    // Sizes a wrapper may pass on from a careless host: none, negative, or beyond what any call
    // holds (2^30 + 1 overflowed the mixer's power-of-two sizing). Blocks of 512 and 4096 follow.
    node ("delay_globals_dynamics").setProperty ("wet", 0.0, nullptr);
    juce::MidiBuffer midi;

    for (const int announced : { 0, -1, std::numeric_limits<int>::min(), (1 << 30) + 1, std::numeric_limits<int>::max() })
    {
        processor->prepareToPlay (48000.0, announced);

        for (const int length : { 512, 4096 })
        {
            juce::AudioBuffer<float> buffer (2, length), input (2, length);

            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < length; ++i)
                    input.setSample (c, i, (float) (((i + 977 * c) * 7919) % 2001) / 1000.0f - 1.0f);

            buffer.makeCopyOf (input);
            processor->processBlock (buffer, midi);

            for (int c = 0; c < 2; ++c)
                EXPECT_EQ (std::memcmp (buffer.getReadPointer (c), input.getReadPointer (c), sizeof (float) * (size_t) length), 0)
                    << "announced " << announced << ", block " << length << ", channel " << c;
        }
    }
}
