#include <gtest/gtest.h>

#include "../../panels/GlobalDynamicsParametersComponent.h"
#include "../support/FaderText.h"
#include "../support/MessagePump.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    // A bound dynamics panel on a node holding the defaults, and a second listener of the node
    // that records what it hears.
    struct DynamicsPanel : juce::ValueTree::Listener
    {
        DynamicsPanel()
        {
            node.setProperty ("dry", 0.5, nullptr);
            node.setProperty ("wet", 0.5, nullptr);
            node.setProperty ("compressor_threshold", 1.0, nullptr);
            node.setProperty ("compressor_slope", 0.5, nullptr);
            node.addListener (this);
            panel.setBounds (0, 0, 490, 155);
            panel.setValueTree (node);
        }

        ~DynamicsPanel() override { node.removeListener (this); }

        void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier& p) override { heard.add (p.toString()); }

        ParameterMappingFunctions mappings;
        juce::ValueTree node { "delay_globals_dynamics" };
        GlobalDynamicsParametersComponent panel { mappings };
        juce::StringArray heard;
    };
}

TEST (GlobalDynamicsParametersComponent, BindingShowsTheStoredLevelsAndTellsNoOtherListener)
{
    DynamicsPanel d;
    EXPECT_TRUE (d.heard.isEmpty());
    EXPECT_EQ (FaderText::shown (d.panel.wetSlider), "50%");
    EXPECT_EQ (FaderText::shown (d.panel.thresholdSlider), "100%");
    EXPECT_EQ (FaderText::shown (d.panel.slopeSlider), "50%");
    EXPECT_EQ (d.panel.compressorDisplay.threshold, 0.0f);
    EXPECT_EQ (d.panel.compressorDisplay.slope, 0.0f);
}

TEST (GlobalDynamicsParametersComponent, DisplayFollowsThresholdAndSlopeAsTheFadersLimitThem)
{
    struct Case { const char* property; juce::var stored; float threshold, slope; };
    const Case cases[] = {
        { "compressor_threshold", 0.5, -30.0f, 0.0f },   { "compressor_threshold", 0.0, -60.0f, 0.0f },
        { "compressor_threshold", 1.7, 0.0f, 0.0f },     { "compressor_threshold", "0.25", -45.0f, 0.0f },
        { "compressor_slope", 1.0, 0.0f, 1.0f },         { "compressor_slope", 0.0, 0.0f, -1.0f },
        { "compressor_slope", 0.75, 0.0f, 0.5f },        { "compressor_slope", -3.0, 0.0f, -1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.property) + " " + c.stored.toString());
        DynamicsPanel d;
        d.node.setProperty (c.property, c.stored, nullptr);
        MessagePump::run (10);

        EXPECT_FLOAT_EQ (d.panel.compressorDisplay.threshold, c.threshold);
        EXPECT_FLOAT_EQ (d.panel.compressorDisplay.slope, c.slope);
        EXPECT_TRUE (d.node[c.property].equalsWithSameType (c.stored)) << "never written back";
        EXPECT_EQ (d.heard.size(), 1);
    }

    DynamicsPanel d;
    d.node.setProperty ("dry", 0.1, nullptr);
    EXPECT_EQ (FaderText::shown (d.panel.wetSlider), "50%") << "dry is not this panel's";
}

TEST (GlobalDynamicsParametersComponent, DoubleClickResetsWetToZeroAndTheCompressorToTheDiagonal)
{
    struct Case { int fader; const char* property; double reset; float threshold, slope; };
    const Case cases[] = {
        { 0, "wet", 0.0, 0.0f, 0.0f },
        { 1, "compressor_threshold", 1.0, 0.0f, 0.0f },
        { 2, "compressor_slope", 1.0, 0.0f, 1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.property);
        DynamicsPanel d;
        d.node.setProperty ("compressor_threshold", 0.5, nullptr);
        d.node.setProperty ("compressor_threshold", c.fader == 1 ? 0.5 : 1.0, nullptr);
        KelvatoneSlider* faders[] = { &d.panel.wetSlider, &d.panel.thresholdSlider, &d.panel.slopeSlider };
        d.heard.clear();

        SyntheticMouse::doubleClick (*faders[c.fader], { 25.0f, (float) faders[c.fader]->getPositionOfValue (0.3) });

        EXPECT_EQ (faders[c.fader]->getValue(), c.reset);
        EXPECT_TRUE (d.node[c.property].equalsWithSameType (c.reset));
        EXPECT_FLOAT_EQ (d.panel.compressorDisplay.threshold, c.threshold);
        EXPECT_FLOAT_EQ (d.panel.compressorDisplay.slope, c.slope);
        EXPECT_TRUE (d.heard.contains (c.property));
    }
}

TEST (GlobalDynamicsParametersComponent, AnUnboundPanelMovesItsFadersOnlyAndDrawsTheDiagonal)
{
    ParameterMappingFunctions mappings;
    GlobalDynamicsParametersComponent panel (mappings);
    panel.setBounds (0, 0, 490, 155);
    EXPECT_EQ (panel.compressorDisplay.threshold, 0.0f);
    EXPECT_EQ (panel.compressorDisplay.slope, 1.0f);

    SyntheticMouse::drag (panel.slopeSlider, { 25.0f, (float) panel.slopeSlider.getPositionOfValue (1.0) },
                          { 25.0f, (float) panel.slopeSlider.getPositionOfValue (0.0) });
    EXPECT_EQ (panel.slopeSlider.getValue(), 0.0);
    EXPECT_EQ (panel.compressorDisplay.slope, 1.0f) << "an unbound panel leaves the display";
}

TEST (GlobalDynamicsParametersComponent, FadersAndTheCurveStandOnTheFixedGrid)
{
    DynamicsPanel d;
    auto& p = d.panel;
    const std::pair<juce::Component*, juce::Rectangle<int>> expected[] = {
        { &p.wetSlider, { 15, 20, 50, 130 } }, { &p.thresholdSlider, { 90, 20, 50, 130 } },
        { &p.slopeSlider, { 165, 20, 50, 130 } }, { &p.compressorDisplay, { 240, 20, 200, 130 } },
    };

    for (const auto& [component, bounds] : expected)
        EXPECT_EQ (component->getBounds(), bounds);

    const auto image = p.createComponentSnapshot (p.getLocalBounds(), true, 1.0f);
    for (int k = 0; k < 3; ++k)
        EXPECT_GT (PixelProbe::countNear (image, { 75 * k - 10, 5, 100, 20 }, p.lookAndFeel.c12, 60), 10) << "label " << k;
    // The display's 0-dB axes in grey: x = 0 dB at px 161.6, y = 0 dB at py 24.4 inside it.
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (240 + 161, 20 + 60), p.lookAndFeel.c4, 40));
}
