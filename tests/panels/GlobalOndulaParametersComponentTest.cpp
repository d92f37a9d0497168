#include <gtest/gtest.h>

#include "../../panels/GlobalOndulaParametersComponent.h"
#include "../support/FaderText.h"
#include "../support/MessagePump.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    // A bound Ondula panel on a node holding the defaults, with a count of the writes that
    // changed the node.
    struct OndulaPanel : juce::ValueTree::Listener
    {
        OndulaPanel()
        {
            node.setProperty ("time_mode", 1, nullptr);
            for (auto* p : { "wavelength", "phase", "velocity", "amount" })
                node.setProperty (p, 0.5, nullptr);
            panel.setBounds (0, 0, 490, 155);
            panel.setValueTree (node);
            node.addListener (this);
        }

        ~OndulaPanel() override { node.removeListener (this); }

        void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override { ++writes; }

        ParameterMappingFunctions mappings;
        CommandLineInterpreter console;
        juce::ValueTree node { "delay_globals_ondula" };
        GlobalOndulaParametersComponent panel { mappings, console };
        int writes = 0;
    };
}

TEST (GlobalOndulaParametersComponent, RateTextShowsTheNodesModeWhateverTheEnginesFlagsSay)
{
    struct Case { int mode; double x; const char* text; };
    const Case cases[] = {
        { 0, 0.0, "0.00Hz" }, { 0, 0.1, "0.14Hz" }, { 0, 0.25, "0.41Hz" }, { 0, 0.4582, "1.0Hz" }, { 0, 0.5, "1.2Hz" }, { 0, 1.0, "5.0Hz" },
        { 1, 0.0, "inf" }, { 1, 0.5, "1" }, { 1, 1.0, "1/16" }, { 2, 0.0, "inft" }, { 2, 0.5, "1t" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.mode) + " " + juce::String (c.x));
        OndulaPanel o;
        o.mappings.velocitySync = c.mode == 0;
        o.mappings.velocityTriplet = c.mode != 2;

        o.node.setProperty ("time_mode", c.mode, nullptr);
        o.node.setProperty ("velocity", c.x, nullptr);
        EXPECT_EQ (FaderText::shown (o.panel.rateSlider), c.text);
        EXPECT_EQ ((double) o.node["velocity"], c.x) << "the mode changes only the text";
    }
}

TEST (GlobalOndulaParametersComponent, ClickingTripWritesTwoAndSelectsItAlone)
{
    struct Case { juce::var stored; int clicked; juce::var expected; int writes; };
    const Case cases[] = { { 1, 2, 2, 1 }, { 2.0, 2, 2.0, 0 }, { 2, 0, 0, 1 }, { "1", 1, "1", 0 }, { 0, 1, 1, 1 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.stored.toString() + " click " + juce::String (c.clicked));
        OndulaPanel o;
        o.node.setProperty ("time_mode", c.stored, nullptr);
        o.writes = 0;
        SimpleRectangleButton* row[] = { &o.panel.hzButton, &o.panel.beatsButton, &o.panel.tripletButton };

        ASSERT_TRUE (SyntheticMouse::clickButton (*row[c.clicked]));

        EXPECT_TRUE (o.node["time_mode"].equalsWithSameType (c.expected)) << o.node["time_mode"].toString();
        EXPECT_EQ (o.writes, c.writes);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ (row[i]->getToggleState(), i == c.clicked) << "button " << i;
        EXPECT_EQ (o.panel.timeModeSelection, c.clicked);
        EXPECT_EQ (FaderText::shown (o.panel.rateSlider), juce::String (o.mappings.velocity_string (0.5f, c.clicked)));
    }
}

TEST (GlobalOndulaParametersComponent, TreeValuesAreShownAndNeverWrittenBackButAnImpossibleModeIsRepaired)
{
    OndulaPanel o;
    const std::pair<const char*, KelvatoneSlider*> faders[] = {
        { "wavelength", &o.panel.wavelengthSlider }, { "phase", &o.panel.phaseSlider },
        { "velocity", &o.panel.rateSlider }, { "amount", &o.panel.amountSlider },
    };

    for (const auto& [property, fader] : faders)
    {
        for (const auto& stored : { juce::var (0.123456), juce::var (1.5), juce::var ("0.25") })
        {
            o.writes = 0;
            o.node.setProperty (property, stored, nullptr);
            MessagePump::run (10);
            EXPECT_EQ (o.writes, 1) << property;
            EXPECT_TRUE (o.node[property].equalsWithSameType (stored)) << property;
            EXPECT_NEAR (fader->getValue(), juce::jlimit (0.0, 1.0, std::round ((double) stored * 10000.0) / 10000.0), 1.0e-12) << property;
        }
    }

    o.writes = 0;
    o.node.setProperty ("time_mode", -1, nullptr);
    EXPECT_TRUE (o.node["time_mode"].equalsWithSameType (0));
    EXPECT_EQ (o.writes, 2);
    EXPECT_TRUE (o.panel.hzButton.getToggleState());
    EXPECT_EQ (FaderText::shown (o.panel.rateSlider), "0.41Hz");
}

TEST (GlobalOndulaParametersComponent, DoubleClickResetsAFaderToFullAndWritesIt)
{
    const char* properties[] = { "wavelength", "phase", "velocity", "amount" };

    for (int index = 0; index < 4; ++index)
    {
        SCOPED_TRACE (properties[index]);
        OndulaPanel o;
        KelvatoneSlider* faders[] = { &o.panel.wavelengthSlider, &o.panel.phaseSlider, &o.panel.rateSlider, &o.panel.amountSlider };
        auto& fader = *faders[index];
        o.writes = 0;

        SyntheticMouse::doubleClick (fader, { 25.0f, (float) fader.getPositionOfValue (0.2) });
        EXPECT_EQ (fader.getValue(), 1.0);
        EXPECT_TRUE (o.node[properties[index]].equalsWithSameType (1.0));

        o.writes = 0;
        SyntheticMouse::click (fader, { 25.0f, 60.0f }, juce::ModifierKeys::altModifier);
        EXPECT_EQ (o.writes, 0) << "1 is stored already";
    }
}

TEST (GlobalOndulaParametersComponent, ControlsStandOnTheFixedGridUnderTheirLabels)
{
    OndulaPanel o;
    auto& p = o.panel;
    const std::pair<juce::Component*, juce::Rectangle<int>> expected[] = {
        { &p.amountSlider, { 15, 20, 50, 130 } },     { &p.rateSlider, { 90, 20, 50, 130 } },
        { &p.wavelengthSlider, { 240, 20, 50, 130 } }, { &p.phaseSlider, { 315, 20, 50, 130 } },
        { &p.hzButton, { 165, 33, 50, 25 } },         { &p.beatsButton, { 165, 63, 50, 25 } },
        { &p.tripletButton, { 165, 93, 50, 25 } },
    };

    for (const auto& [component, bounds] : expected)
        EXPECT_EQ (component->getBounds(), bounds);

    const auto image = p.createComponentSnapshot (p.getLocalBounds(), true, 1.0f);
    for (int k = 0; k < 5; ++k)
        EXPECT_GT (PixelProbe::countNear (image, { 75 * k - 10, 5, 100, 20 }, p.lookAndFeel.c12, 60), 10) << "label " << k;
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (165, 75), p.lookAndFeel.c12)) << "Beats selected";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (165, 45), p.lookAndFeel.c4)) << "Hz not";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (480, 140), p.lookAndFeel.c0));
}
