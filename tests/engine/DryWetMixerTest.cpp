#include "engine/DryWetMixer.h"

#include <gtest/gtest.h>

namespace
{
juce::ValueTree makeRoot (double wet)
{
    juce::ValueTree root ("top"), delay ("delay"), dynamics ("delay_globals_dynamics");
    dynamics.setProperty ("dry", 0.5, nullptr);
    dynamics.setProperty ("wet", wet, nullptr);
    delay.appendChild (dynamics, nullptr);
    root.appendChild (delay, nullptr);
    return root;
}

/** Mixes one block of dry ones with a silent wet signal: the output is the dry gain per sample. */
std::vector<float> dryGainOverBlock (DryWetMixer_KT& stage, int length)
{
    juce::AudioBuffer<float> buffer (2, length);
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (buffer.getWritePointer (c), 1.0f, length);

    juce::dsp::AudioBlock<float> block (buffer);
    stage.applyPendingWetProportion();
    stage.mixer.pushDrySamples (block);
    block.clear();
    stage.mixer.mixWetSamples (block);
    return { buffer.getReadPointer (0), buffer.getReadPointer (0) + length };
}

struct CountingStage : DryWetMixer_KT
{
    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override
    {
        ++calls;
        DryWetMixer_KT::valueTreePropertyChanged (tree, property);
    }

    int calls = 0;
};
} // namespace

TEST (DryWetMixer, WetValuesAreClampedToTheUnitRange)
{
    const struct { double wet; float proportion; } cases[] = { { 1.5, 1.0f }, { -0.2, 0.0f }, { 0.25, 0.25f } };

    for (const auto& c : cases)
    {
        auto root = makeRoot (c.wet);
        DryWetMixer_KT stage;
        stage.setValueTree (root);
        EXPECT_EQ (stage.pendingWetProportion.load(), c.proportion) << c.wet;

        stage.prepare ({ 48000.0, 64, 2 });
        EXPECT_FLOAT_EQ (dryGainOverBlock (stage, 64).back(), 1.0f - c.proportion);
    }
}

TEST (DryWetMixer, AWetChangeRampsTheDryGainOverFiftyMilliseconds)
{
    auto root = makeRoot (0.5);
    DryWetMixer_KT stage;
    stage.setValueTree (root);
    stage.prepare ({ 48000.0, 4800, 2 });

    root.getChild (0).getChild (0).setProperty ("wet", 1.0, nullptr);
    const auto gain = dryGainOverBlock (stage, 4800);

    EXPECT_NEAR (gain[0], 0.5f - 0.5f / 2400.0f, 1e-5f);
    EXPECT_NEAR (gain[1199], 0.25f, 1e-3f);
    EXPECT_NEAR (gain[2398], 0.5f / 2400.0f, 5e-5f); // float steps accumulate a little error
    EXPECT_NEAR (gain[2399], 0.0f, 1e-6f);
    EXPECT_EQ (gain[4799], 0.0f);
}

TEST (DryWetMixer, DryIsNotReadAndBindingTwiceListensOnce)
{
    auto root = makeRoot (0.5);
    CountingStage stage;
    stage.setValueTree (root);
    stage.setValueTree (root);
    stage.prepare ({ 48000.0, 64, 2 });

    auto dynamics = root.getChild (0).getChild (0);
    dynamics.setProperty ("dry", 0.9, nullptr);
    EXPECT_EQ (stage.pendingWetProportion.load(), 0.5f);
    EXPECT_FLOAT_EQ (dryGainOverBlock (stage, 64).back(), 0.5f);

    stage.calls = 0;
    dynamics.setProperty ("wet", 0.75, nullptr);
    EXPECT_EQ (stage.calls, 1);
}

TEST (DryWetMixer, PreparationStartsAtTheLatestProportionWithoutARamp)
{
    auto root = makeRoot (0.5);
    DryWetMixer_KT stage;
    stage.setValueTree (root);
    root.getChild (0).getChild (0).setProperty ("wet", 0.0, nullptr);
    stage.prepare ({ 44100.0, 128, 2 });
    EXPECT_EQ (dryGainOverBlock (stage, 128).front(), 1.0f);
}
