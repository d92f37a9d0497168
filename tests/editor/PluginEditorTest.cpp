#include <gtest/gtest.h>

#include "../../editor/PluginEditor.h"
#include "../support/PixelProbe.h"

#include <thread>

namespace
{
    // Opens an editor the way a host does and closes it the way the framework does.
    struct OpenEditor
    {
        explicit OpenEditor (OndulaDelayAudioProcessor& p) : processor (p)
        {
            editor = dynamic_cast<OndulaDelayAudioProcessorEditor*> (processor.createEditorIfNeeded());
        }

        ~OpenEditor()
        {
            processor.editorBeingDeleted (editor);
            delete editor;
        }

        OndulaDelayAudioProcessor& processor;
        OndulaDelayAudioProcessorEditor* editor = nullptr;
    };

    struct ParameterSpy : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++changes; }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
        int changes = 0;
        int gestures = 0;
    };

    juce::String stateText (OndulaDelayAudioProcessor& p)
    {
        return p.stateTree.toXmlString();
    }

    std::vector<float> parameterValues (juce::AudioProcessor& p)
    {
        std::vector<float> values;
        for (auto* parameter : p.getParameters())
            values.push_back (parameter->getValue());
        return values;
    }

    juce::File artefactDirectory()
    {
       #ifdef ONDULA_TEST_ARTEFACT_DIR
        return juce::File (ONDULA_TEST_ARTEFACT_DIR);
       #else
        return juce::File::getCurrentWorkingDirectory().getChildFile ("test-artefacts");
       #endif
    }
}

TEST (PluginEditor, HasAFixedSizeEditor)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    EXPECT_TRUE (processor->hasEditor());

    OpenEditor open (*processor);
    ASSERT_NE (open.editor, nullptr);
    EXPECT_EQ (open.editor->getWidth(), 1350);
    EXPECT_EQ (open.editor->getHeight(), 660);
    EXPECT_FALSE (open.editor->isResizable());
}

TEST (PluginEditor, ChildrenStandInBindingOrderOnTheFixedGrid)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    OpenEditor open (*processor);
    auto& e = *open.editor;

    const std::vector<std::pair<juce::Component*, juce::Rectangle<int>>> expected {
        { &e.filterView, { 800, 60, 550, 190 } },  { &e.delayView, { 0, 440, 1350, 190 } },
        { &e.globalView, { 800, 440, 550, 190 } }, { &e.ondulaView, { 800, 250, 550, 190 } },
        { &e.filterGraph, { 0, 60, 400, 380 } },   { &e.ondulaGraph, { 400, 60, 400, 380 } },
        { &e.consoleStrip, { 0, 630, 1350, 30 } }, { &e.presetStrip, { 450, 0, 450, 60 } },
    };

    ASSERT_EQ (e.getNumChildComponents(), (int) expected.size());
    for (int i = 0; i < (int) expected.size(); ++i)
    {
        EXPECT_EQ (e.getChildComponent (i), expected[(size_t) i].first) << "child " << i;
        EXPECT_EQ (expected[(size_t) i].first->getBounds(), expected[(size_t) i].second) << "child " << i;
        EXPECT_TRUE (expected[(size_t) i].first->isVisible());
    }
}

TEST (PluginEditor, OpeningSendsNoParameterChangeAndLeavesTheAttachmentsOn)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    ParameterSpy spy;
    processor->addListener (&spy);
    const auto before = parameterValues (*processor);

    {
        OpenEditor open (*processor);
        EXPECT_EQ (spy.changes, 0);
        EXPECT_EQ (spy.gestures, 0);
        EXPECT_EQ (parameterValues (*processor), before);

        for (auto& attachment : processor->parameterAttachments)
            EXPECT_TRUE (attachment->pushToParameterEnabled.load());

        // After construction an edit in the tree reaches the host again.
        processor->stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_dynamics")
            .setProperty ("wet", 0.125, nullptr);
        EXPECT_GT (spy.changes, 0);
    }

    processor->removeListener (&spy);
}

TEST (PluginEditor, ReopeningShowsTheSameSettingsAndChangesNone)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    processor->stateTree.setProperty ("preset_name", "Kept", nullptr);
    const auto state = stateText (*processor);

    for (int round = 0; round < 3; ++round)
    {
        OpenEditor open (*processor);
        open.editor->presetStrip.refreshName(); // the strip's first tick
        EXPECT_EQ (open.editor->presetStrip.presetNameLabel.getText(), "Kept");
    }

    EXPECT_EQ (stateText (*processor), state);
}

TEST (PluginEditor, BindingReannouncesEveryShownPropertyInConstructionOrder)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();

    struct Recorder : juce::ValueTree::Listener
    {
        void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override
        {
            heard.push_back (node.getType().toString() + "." + property.toString());
        }
        std::vector<juce::String> heard;
    } recorder;

    processor->stateTree.addListener (&recorder);
    {
        OpenEditor open (*processor);
    }
    processor->stateTree.removeListener (&recorder);

    std::vector<juce::String> expected;
    const auto add = [&] (const char* type, std::initializer_list<const char*> properties)
    {
        for (auto* p : properties)
            expected.push_back (juce::String (type) + "." + p);
    };

    for (auto* type : { "automation_frequency", "automation_bandwidth", "automation_amplitude", "automation_pan" })
        add (type, { "value", "scale_y", "curve" });
    add ("delay_pattern", { "pattern_l", "pattern_r", "time_mode" });
    add ("delay_globals_time", { "pattern_mode" });
    add ("delay_globals_time", { "time", "time_mode", "pattern_mode", "feedback_amplitude", "feedback_frequency", "feedback_width" });
    add ("delay_globals_ondula", { "wavelength", "phase", "velocity", "amount", "time_mode" });
    for (auto* type : { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" })
        add (type, { "scale", "phase", "curve" });
    // The Ondula graph, once all its eleven nodes listen.
    for (auto* type : { "automation_frequency", "automation_amplitude", "automation_bandwidth", "automation_pan" })
        add (type, { "value" });
    for (auto* type : { "ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay" })
        add (type, { "scale" });
    add ("delay_globals_ondula", { "wavelength" });
    add ("delay_globals_time", { "time" });

    EXPECT_EQ (recorder.heard, expected);
}

TEST (PluginEditor, MissingNodesLeaveOnlyTheirPagesOut)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    auto& tree = processor->stateTree;
    tree.getChildWithName ("delay").removeChild (tree.getChildWithName ("delay").getChildWithName ("delay_pattern"), nullptr);
    tree.removeChild (tree.getChildWithName ("ondula"), nullptr);

    OpenEditor open (*processor);
    auto& e = *open.editor;

    EXPECT_EQ (e.ondulaView.getParentComponent(), nullptr);
    EXPECT_EQ (e.delayView.getParentComponent(), &e);
    EXPECT_EQ (e.globalView.getParentComponent(), &e);
    EXPECT_FALSE (e.delayView.patternPanel.patternTree.isValid());
    EXPECT_TRUE (e.delayView.patternPanel.timeTree.isValid());

    const auto image = e.createComponentSnapshot (e.getLocalBounds(), true, 1.0f);
    EXPECT_TRUE (PixelProbe::filled (image, { 810, 262, 530, 170 }, e.lookAndFeel.c0)) << "only background in the Ondula band";
}

TEST (PluginEditorSnapshot, ShowsTheBackgroundSeparatorsTitlesAndPresetStrip)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    processor->commandLine.newMessage = false;
    OpenEditor open (*processor);
    auto& e = *open.editor;
    const auto& lf = e.lookAndFeel;
    e.presetStrip.refreshName();
    e.consoleStrip.timerCallback();

    const auto image = e.createComponentSnapshot (e.getLocalBounds(), true, 1.0f);
    ASSERT_EQ (image.getWidth(), 1350);
    ASSERT_EQ (image.getHeight(), 660);

    // Another run of this test may write the same artefact: each writes a file of its own
    // beside it and moves it over the artefact in one step.
    const auto dir = artefactDirectory();
    ASSERT_TRUE (dir.createDirectory());
    juce::TemporaryFile artefact (dir.getChildFile ("editor.png"));
    {
        juce::FileOutputStream out (artefact.getFile());
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
    }
    ASSERT_TRUE (artefact.overwriteTargetFileWithTemporary());

    const auto at = [&] (int x, int y) { return image.getPixelAt (x, y); };

    for (auto p : { juce::Point<int> (200, 200), juce::Point<int> (600, 300), juce::Point<int> (1000, 150),
                    juce::Point<int> (1000, 350), juce::Point<int> (1000, 550), juce::Point<int> (300, 530) })
        EXPECT_TRUE (PixelProbe::near (at (p.x, p.y), lf.c0)) << "background at " << p.toString();

    struct Line { juce::Rectangle<int> area; juce::Colour colour; };
    const Line lines[] = {
        { { 10, 59, 1330, 2 }, lf.c4 },   { { 10, 629, 1330, 2 }, lf.c4 },
        { { 810, 439, 530, 2 }, lf.c4 },  { { 810, 249, 530, 2 }, lf.c4 },
        { { 399, 70, 2, 360 }, lf.c1 },   { { 10, 439, 780, 2 }, lf.c4 },
        { { 799, 450, 2, 170 }, lf.c5 },  { { 799, 70, 2, 360 }, lf.c5 },
    };
    for (const auto& line : lines)
        EXPECT_TRUE (PixelProbe::filled (image, line.area, line.colour)) << line.area.toString();

    // The gaps: the grey lines stop 5 px short of the edges and of the vertical separator.
    EXPECT_TRUE (PixelProbe::near (at (2, 60), lf.c0));
    EXPECT_TRUE (PixelProbe::near (at (1347, 630), lf.c0));
    EXPECT_TRUE (PixelProbe::near (at (800, 440), lf.c0));

    // Preset strip x 450 .. 900: Prev's frame at 454, Save's right edge at 895.
    EXPECT_TRUE (PixelProbe::near (at (454, 30), lf.c4));
    EXPECT_TRUE (PixelProbe::near (at (453, 30), lf.c0));
    EXPECT_TRUE (PixelProbe::near (at (895, 30), lf.c4));
    EXPECT_TRUE (PixelProbe::near (at (897, 30), lf.c0));
    EXPECT_GT (PixelProbe::countInk (image, { 562, 15, 226, 30 }, lf.c0), 50) << "the preset name";

    // Titles in light ink on either side of the strip, in Roboto.
    EXPECT_GT (PixelProbe::countNear (image, { 12, 0, 400, 60 }, lf.c3, 10), 100);
    EXPECT_GT (PixelProbe::countNear (image, { 1138, 0, 200, 60 }, lf.c3, 10), 100);

    auto reference = PixelProbe::blank (400, 60, lf.c0);
    {
        juce::Graphics g (reference);
        g.setColour (lf.c3);
        g.setFont (LookAndFeel_KT::getRobotoRegular (24.0f));
        g.drawText ("Ondula Delay Free", juce::Rectangle<int> (0, 0, 400, 60), juce::Justification::left, false);
    }
    int differing = 0;
    for (int y = 0; y < 58; ++y)
        for (int x = 0; x < 380; ++x)
            differing += PixelProbe::near (reference.getPixelAt (x, y), at (x + 12, y), 4) ? 0 : 1;
    EXPECT_EQ (differing, 0) << "the title is drawn in the embedded Roboto Regular";
}

TEST (GraphBinding, FilterGraphBindsNoNodeAndOndulaGraphFollowsElevenNodes)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();

    struct Counter : juce::ValueTree::Listener
    {
        void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override { ++heard; }
        int heard = 0;
    } counter;

    processor->stateTree.addListener (&counter);
    FilterEQGraphComponent filterGraph (processor->mappingFunctions, processor->leftDelay, processor->rightDelay);
    EXPECT_EQ (counter.heard, 0) << "the filter graph announces nothing";

    OndulaGraphComponent ondulaGraph (*processor);
    ondulaGraph.setValueTree (processor->stateTree);
    EXPECT_EQ (counter.heard, 11) << "one announcement per followed node";
    processor->stateTree.removeListener (&counter);

    for (size_t i = 0; i < ondulaGraph.nodes.size(); ++i)
        EXPECT_TRUE (ondulaGraph.nodes[i].hasType (OndulaGraphComponent::bindings[i].type)) << OndulaGraphComponent::bindings[i].type;

    ondulaGraph.setValueTree ({});
    EXPECT_EQ (ondulaGraph.root, processor->stateTree) << "an invalid root changes nothing";
}

TEST (GraphBinding, FilterGraphStartsItsOwnTimerAndTheEditorStartsTheOndulaGraphs)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();

    FilterEQGraphComponent filterGraph (processor->mappingFunctions, processor->leftDelay, processor->rightDelay);
    EXPECT_TRUE (filterGraph.isTimerRunning());
    EXPECT_EQ (filterGraph.getTimerInterval(), 33);

    OndulaGraphComponent ondulaGraph (*processor);
    EXPECT_FALSE (ondulaGraph.isTimerRunning());

    OpenEditor open (*processor);
    EXPECT_EQ (open.editor->ondulaGraph.getTimerInterval(), 33);
    EXPECT_EQ (open.editor->filterGraph.getTimerInterval(), 33);
}

TEST (PluginEditor, ItsDisplaysDrawWhatPlaysHostValuesIncluded)
{
    // The host sets the compressor's threshold and slope and the straight grid on the audio
    // thread; the tree's own values differ, and its write-backs have not run.
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    processor->stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_time").setProperty ("pattern_mode", 1, nullptr);
    processor->prepareToPlay (48000.0, 512);
    OpenEditor open (*processor);
    auto& display = open.editor->globalView.dynamicsPanel.compressorDisplay;
    auto& grid = open.editor->delayView.patternPanel.leftPattern;
    ASSERT_TRUE (grid.tripletGrid);

    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (2, 512);
        buffer.clear();
        juce::MidiBuffer midi;
        processor->hostCallBegins (512);
        processor->hostParameterPoint (28, 0, 0.25f); // threshold: -45 dB
        processor->hostParameterPoint (29, 0, 1.0f);  // slope: 1
        processor->hostParameterPoint (24, 0, 0.0f);  // the straight grid
        processor->processBlock (buffer, midi);
    });
    audio.join();

    open.editor->globalView.dynamicsPanel.compressorDisplay.timerCallback();
    open.editor->delayView.patternPanel.timerCallback();
    EXPECT_FLOAT_EQ (display.threshold, -45.0f);
    EXPECT_FLOAT_EQ (display.slope, 1.0f);
    EXPECT_FALSE (grid.tripletGrid);
    EXPECT_FALSE (open.editor->delayView.patternPanel.rightPattern.tripletGrid);
}
