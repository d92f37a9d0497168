#include "support/MessagePump.h"
#include "support/ProcessorFixture.h"

#include "engine/HostValueEcho.h"

#include <functional>
#include <thread>

using AttachmentTest = ProcessorFixture;

TEST_F (AttachmentTest, EveryParameterHasOneAttachmentSwitchedOnAfterConstruction)
{
    ASSERT_EQ (processor->parameterAttachments.size(), 30u);

    for (const auto& attachment : processor->parameterAttachments)
        EXPECT_TRUE (attachment->pushToParameterEnabled.load());
}

TEST_F (AttachmentTest, WithTheDirectionOffAnEditDoesNotReachTheHost)
{
    processor->setPushToParameterEnabled (false);
    node ("automation_frequency").setProperty ("value", 0.9, nullptr);
    processor->setPushToParameterEnabled (true);

    EXPECT_EQ (parameter ("automation_frequency_value").getValue(), 0.2f);
    EXPECT_EQ (gestureBegins, 0);

    // Writing the same value again is no change, so the two stay apart.
    node ("automation_frequency").setProperty ("value", 0.9, nullptr);
    EXPECT_EQ (parameter ("automation_frequency_value").getValue(), 0.2f);
}

TEST_F (AttachmentTest, AnEditReachesTheHostAsOneGestureAndIsWrittenBackAsTheParameterValue)
{
    auto frequency = node ("automation_frequency");
    frequency.setProperty ("value", 0.7, nullptr);

    EXPECT_EQ (gestureBegins, 1);
    EXPECT_EQ (gestureEnds, 1);
    EXPECT_EQ (parameter ("automation_frequency_value").getValue(), 0.7f);
    EXPECT_TRUE (frequency["value"].isDouble());
    EXPECT_EQ ((double) frequency["value"], (double) 0.7f);
}

TEST_F (AttachmentTest, AValueThatNormalisesToTheParameterSendsNothing)
{
    node ("automation_frequency").setProperty ("value", "0.2", nullptr); // as text, where it stands
    node ("delay_globals_time").setProperty ("time_mode", 1.2, nullptr); // snaps to 1, where it stands
    EXPECT_EQ (gestureBegins, 0);
    EXPECT_EQ (node ("automation_frequency")["value"].toString(), "0.2");
    EXPECT_EQ ((double) node ("delay_globals_time")["time_mode"], 1.2);
}

TEST_F (AttachmentTest, ModeValuesSnapToWholeNumbers)
{
    auto time = node ("delay_globals_time");

    time.setProperty ("time_mode", 2, nullptr);
    EXPECT_EQ (parameter ("delay_globals_time_time_mode").getValue(), 1.0f);
    EXPECT_TRUE (time["time_mode"].isDouble());
    EXPECT_EQ ((double) time["time_mode"], 2.0);

    time.setProperty ("time_mode", 0, nullptr);
    ASSERT_EQ (parameter ("delay_globals_time_time_mode").getValue(), 0.0f);
    time.setProperty ("time_mode", 1.4, nullptr);
    EXPECT_EQ (parameter ("delay_globals_time_time_mode").getValue(), 0.5f);
    EXPECT_EQ ((double) time["time_mode"], 1.0);

    const int gesturesBefore = gestureBegins;
    time.setProperty ("time_mode", 1.4, nullptr);
    EXPECT_EQ (gestureBegins, gesturesBefore);
    EXPECT_EQ ((double) time["time_mode"], 1.4);
}

TEST_F (AttachmentTest, AValueOutsideTheRangeMovesTheParameterToTheNearerBoundAndStaysInTheTree)
{
    auto frequency = node ("automation_frequency");

    frequency.setProperty ("scale_y", -0.5, nullptr);
    EXPECT_EQ (parameter ("automation_frequency_amount").getValue(), 0.0f);
    EXPECT_EQ (gestureBegins, 1);
    EXPECT_EQ ((double) frequency["scale_y"], -0.5) << "the bound written back would undo the edit";

    const int gesturesBefore = gestureBegins;
    frequency.setProperty ("scale_y", -0.7, nullptr);
    EXPECT_EQ (gestureBegins, gesturesBefore);
    EXPECT_EQ ((double) frequency["scale_y"], -0.7);
}

TEST_F (AttachmentTest, TextValuesAreReadByTheirLeadingNumber)
{
    auto dynamics = node ("delay_globals_dynamics");

    dynamics.setProperty ("wet", "0.7", nullptr);
    EXPECT_TRUE (dynamics["wet"].isDouble());
    EXPECT_EQ ((double) dynamics["wet"], 0.699999988079071);

    dynamics.setProperty ("dry", "not a number", nullptr);
    EXPECT_EQ (parameter ("delay_globals_dynamics_dry").getValue(), 0.0f);

    dynamics.setProperty ("compressor_slope", "nan", nullptr);
    EXPECT_FALSE (std::isnan (parameter ("delay_globals_dynamics_compressor_slope").getValue()));
}

TEST_F (AttachmentTest, HostAutomationFromAnotherThreadReachesTheTreeOnTheMessageThread)
{
    auto& wavelength = parameter ("delay_globals_ondula_wavelength");
    auto ondula = node ("delay_globals_ondula");

    std::thread audio ([&]
    {
        wavelength.setValueNotifyingHost (0.1f);
        wavelength.setValueNotifyingHost (0.25f);
    });
    audio.join();

    EXPECT_EQ ((double) ondula["wavelength"], 0.5); // nothing written off the message thread
    EXPECT_TRUE (MessagePump::runUntil ([&] { return (double) ondula["wavelength"] == 0.25; }, 2000));
}

TEST_F (AttachmentTest, HostAutomationOfAModeWritesADouble)
{
    parameter ("delay_globals_time_time_mode").setValueNotifyingHost (1.0f);
    const auto mode = node ("delay_globals_time")["time_mode"];
    EXPECT_TRUE (mode.isDouble());
    EXPECT_EQ ((double) mode, 2.0);
}

TEST_F (AttachmentTest, AChangeOfAnUnboundPropertyReachesNoParameter)
{
    node ("delay_globals_time").setProperty ("feedback_amplitude", 0.9, nullptr);
    node ("delay_pattern").setProperty ("time", 0.9, nullptr);
    processor->stateTree.setProperty ("preset_name", "x", nullptr);
    EXPECT_EQ (gestureBegins, 0);
    EXPECT_EQ (parameterChanges, 0);
}

TEST_F (AttachmentTest, AValueWrittenWhileTheDirectionWasOffReachesTheHostOnceWithoutAWriteBack)
{
    auto time = node ("delay_globals_time");
    processor->setPushToParameterEnabled (false);
    time.setProperty ("time_mode", 0, nullptr);
    processor->setPushToParameterEnabled (true);
    ASSERT_EQ (gestureBegins, 0);

    processor->sendChangesMadeWhileQuiet();
    EXPECT_EQ (parameter ("delay_globals_time_time_mode").getValue(), 0.0f);
    EXPECT_EQ (gestureBegins, 1);
    EXPECT_TRUE (time["time_mode"].isInt()) << "the host's double is not written over the int";

    processor->sendChangesMadeWhileQuiet();
    EXPECT_EQ (gestureBegins, 1) << "a change is passed on once";

    // A value changed and changed back within the spell, as a re-announcement leaves it, is no change.
    processor->setPushToParameterEnabled (false);
    time.setProperty ("time_mode", 2, nullptr);
    time.setProperty ("time_mode", 0, nullptr);
    time.sendPropertyChangeMessage ("time_mode");
    processor->setPushToParameterEnabled (true);
    processor->sendChangesMadeWhileQuiet();
    EXPECT_EQ (gestureBegins, 1);
}

TEST_F (AttachmentTest, TheTreesLateEchoOfAHostValueIsNeverPushedBackToTheParameter)
{
    // The host moved the parameter on the audio thread to 0.3, then to 0.8; the message thread's
    // write-back of 0.3 arrives late. The parameter keeps the host's latest value and the host
    // hears no gesture, which it would take for the user's edit.
    auto& wet = parameter ("delay_globals_dynamics_wet");
    std::thread audio ([&] { wet.setValueNotifyingHost (0.3f); wet.setValueNotifyingHost (0.8f); });
    audio.join();
    MessagePump::run (20);
    const int gesturesBefore = gestureBegins;

    {
        const HostValueEcho::Scope echo;
        node ("delay_globals_dynamics").setProperty ("wet", 0.3, nullptr);
    }

    EXPECT_EQ (wet.getValue(), 0.8f);
    EXPECT_EQ (gestureBegins, gesturesBefore);
}

namespace
{
/** The VST3 client's road on the audio thread: the parameter takes the host's value, none of its
    listeners is called, and the processor is told. */
void setUnheard (OndulaDelayAudioProcessor& processor, juce::RangedAudioParameter& parameter, float value)
{
    parameter.setValue (value);
    processor.hostParameterSet (parameter.getParameterIndex());
}
} // namespace

TEST_F (AttachmentTest, HostChangesMadeUnheardReachTheTreeOnTheMessageThreadAndNeverTheHost)
{
    auto& wavelength = parameter ("delay_globals_ondula_wavelength");
    auto ondula = node ("delay_globals_ondula");

    std::thread audio ([&] { setUnheard (*processor, wavelength, 0.1f); setUnheard (*processor, wavelength, 0.25f); });
    audio.join();
    EXPECT_EQ ((double) ondula["wavelength"], 0.5) << "nothing written off the message thread";

    processor->writeBackUnheardHostChanges();
    EXPECT_TRUE (ondula["wavelength"].isDouble());
    EXPECT_EQ ((double) ondula["wavelength"], 0.25) << "the latest value, once";

    // Without a call, the processor's own timer writes back.
    std::thread later ([&] { setUnheard (*processor, wavelength, 0.75f); });
    later.join();
    EXPECT_TRUE (MessagePump::runUntil ([&] { return (double) ondula["wavelength"] == 0.75; }, 5000));

    EXPECT_EQ (parameterChanges, 0) << "a host would take a change it hears back for the user's edit";
    EXPECT_EQ (gestureBegins, 0);
}

TEST_F (AttachmentTest, UnheardHostChangesKeepTheRulesOfHeardOnes)
{
    struct Case
    {
        const char* name;
        const char* nodeType;
        const char* property;
        const char* parameterId;
        std::function<void (juce::RangedAudioParameter&)> run;
        double expected;
    };

    const Case cases[] = {
        // The host's move to the bound of a tree value outside the range, after another value,
        // is the host's value, though the message thread did not run between the two.
        { "a move to the bound of a negative amount", "automation_frequency", "scale_y", "automation_frequency_amount",
          [this] (juce::RangedAudioParameter& amount)
          {
              node ("automation_frequency").setProperty ("scale_y", -0.5, nullptr);
              setUnheard (*processor, amount, 0.3f);
              setUnheard (*processor, amount, 0.0f);
              processor->writeBackUnheardHostChanges();
          },
          0.0 },
        // Saved before the write-back ran: what plays is saved.
        { "a save before the write-back", "delay_globals_dynamics", "wet", "delay_globals_dynamics_wet",
          [this] (juce::RangedAudioParameter& wet)
          {
              setUnheard (*processor, wet, 0.8f);
              juce::MemoryBlock state;
              processor->getStateInformation (state);
          },
          (double) 0.8f },
        // A state loaded after the change beats it: the write-back still owed brings nothing else.
        { "a state load after the change", "delay_globals_dynamics", "wet", "delay_globals_dynamics_wet",
          [this] (juce::RangedAudioParameter& wet)
          {
              juce::MemoryBlock state;
              processor->getStateInformation (state);
              setUnheard (*processor, wet, 0.8f);
              processor->setStateInformation (state.getData(), (int) state.getSize());
              processor->writeBackUnheardHostChanges();
          },
          0.5 },
    };

    for (const auto& c : cases)
    {
        processor = std::make_unique<OndulaDelayAudioProcessor>();
        c.run (parameter (c.parameterId));
        EXPECT_EQ ((double) node (c.nodeType)[c.property], c.expected) << c.name;
    }
}
