#include <gtest/gtest.h>

#include "../../editor/PluginEditor.h"
#include "../../editor/PresetFolder.h"
#include "../support/MessagePump.h"
#include "../support/PanelProbe.h"
#include "../support/FaderText.h"
#include "../support/SyntheticMouse.h"
#include "support/ScratchDirectory.h"

namespace
{
    // What a host hears: parameter gestures and "the state changed".
    struct HostEars : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++changes; }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override { stateChanges += details.nonParameterStateChanged ? 1 : 0; }
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
        void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int) override {}
        int changes = 0, gestures = 0, stateChanges = 0;
    };

    // An open editor whose gestures the test holds and releases by hand, as the mouse would.
    struct Session
    {
        Session()
        {
            editor = dynamic_cast<OndulaDelayAudioProcessorEditor*> (processor->createEditorIfNeeded());
            editor->stateNotifier.gestureInProgress = [this] { return held; };
            editor->presetStrip.presetFolder = PresetFolder (presets);
            MessagePump::run (20);
            processor->addListener (&host);
        }

        ~Session()
        {
            close();
            processor->removeListener (&host);
        }

        void close()
        {
            if (editor == nullptr)
                return;

            processor->editorBeingDeleted (editor);
            delete editor;
            editor = nullptr;
        }

        juce::ValueTree node (const juce::String& type) const { return PanelProbe::node (processor->stateTree, type); }

        std::unique_ptr<OndulaDelayAudioProcessor> processor = std::make_unique<OndulaDelayAudioProcessor>();
        OndulaDelayAudioProcessorEditor* editor = nullptr;
        ScratchDirectory scratch { "ondula-notifier-presets" };
        juce::File presets { juce::String (scratch.path()) };
        HostEars host;
        bool held = false;
    };
}

TEST (HostStateNotifier, EachEditNoParameterShowsTellsTheHostOncePerGestureAndOthersDoNot)
{
    struct Case
    {
        const char* what;
        std::function<void (Session&)> edit;
        int stateChanges;
        bool parameterGestures;
    };

    const auto typeInto = [] (auto faderOf, const char* text)
    {
        return [faderOf, text] (Session& s) { FaderText::type (faderOf (*s.editor), text); };
    };

    const Case cases[] = {
        { "a curve point dragged", [] (Session& s)
          {
              auto& curve = s.editor->filterView.frequencyPanel.curveEditor;
              curve.setBounds (0, 0, 310, 95);
              const juce::Point<float> last (300.0f, 85.0f);
              curve.mouseMove (SyntheticMouse::event (curve, last, {}));
              SyntheticMouse::drag (curve, last, { 300.0f, 10.0f });
          }, 1, false },
        { "steps toggled by a press and a drag", [] (Session& s)
          {
              auto& steps = s.editor->delayView.patternPanel.leftPattern;
              SyntheticMouse::drag (steps, { 31.0f, 35.0f }, { 80.0f, 35.0f });
          }, 1, false },
        { "a feedback fader typed", typeInto ([] (auto& e) -> juce::Slider& { return e.globalView.timePanel.amplitudeSlider; }, "40"), 1, false },
        { "a negative automation amount typed", typeInto ([] (auto& e) -> juce::Slider& { return e.filterView.panPanel.amountSlider; }, "-40%"), 1, false },
        { "a positive automation amount typed", typeInto ([] (auto& e) -> juce::Slider& { return e.filterView.frequencyPanel.amountSlider; }, "40%"), 0, true },
        { "a delay time typed", typeInto ([] (auto& e) -> juce::Slider& { return e.globalView.timePanel.timeSlider; }, "1/8"), 0, true },
        { "the preset renamed", [] (Session& s) { s.editor->presetStrip.presetNameLabel.setText ("Mine", juce::sendNotificationSync); }, 1, false },
        { "a preset loaded", [] (Session& s)
          {
              const auto file = s.presets.getChildFile ("Other.ondulapreset");
              auto tree = s.processor->stateTree.createCopy();
              tree.getChildWithName ("delay").getChildWithName ("delay_pattern").setProperty ("pattern_l", "1111", nullptr);
              ASSERT_TRUE (PresetFolder::write (tree, file).isEmpty());
              ASSERT_TRUE (s.editor->presetStrip.loadPresetFrom (file));
          }, 1, false },
        { "a preset saved under a new name", [] (Session& s)
          { ASSERT_TRUE (s.editor->presetStrip.savePresetTo (s.presets.getChildFile ("Saved.ondulapreset"))); }, 1, false },
        { "the host automating a parameter", [] (Session& s)
          { s.processor->parameters.getParameter ("delay_globals_time_time")->setValueNotifyingHost (0.25f); }, 0, false },
        { "another writer changing a feedback setting", [] (Session& s)
          { s.node ("delay_globals_time").setProperty ("feedback_width", 0.125, nullptr); }, 0, false },
        { "another writer changing a curve", [] (Session& s)
          { s.node ("automation_pan").setProperty ("curve", "0 0.5 0\n", nullptr); }, 0, false },
        { "a state restored by the host", [] (Session& s)
          {
              juce::MemoryBlock block;
              s.processor->getStateInformation (block);
              s.node ("delay_pattern").setProperty ("pattern_r", "1", nullptr);
              s.processor->setStateInformation (block.getData(), (int) block.getSize());
          }, 0, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Session s;

        // While the gesture lasts, the host hears nothing; at its end, once.
        s.held = true;
        c.edit (s);
        MessagePump::run (60);
        EXPECT_EQ (s.host.stateChanges, 0);

        s.held = false;
        MessagePump::run (60);
        EXPECT_EQ (s.host.stateChanges, c.stateChanges);
        EXPECT_EQ (s.host.gestures > 0, c.parameterGestures) << s.host.gestures;
    }
}

TEST (HostStateNotifier, AnEditorClosedInTheMiddleOfAGestureStillTellsTheHost)
{
    Session s;
    s.held = true;
    FaderText::type (s.editor->globalView.timePanel.widthSlider, "10");
    EXPECT_EQ (s.host.stateChanges, 0);

    s.close();
    EXPECT_EQ (s.host.stateChanges, 1);
}
