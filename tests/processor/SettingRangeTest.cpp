#include <gtest/gtest.h>

#include "editor/PluginEditor.h"
#include "processor/PluginProcessor.h"
#include "processor/SettingRange.h"
#include "support/FaderText.h"

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace
{
    using Kind = SettingRange::Kind;
    constexpr const char* kept = nullptr; // the live value stays

    // A loaded value and what is stored for it: the same text, a bound, or nothing (`kept`).
    struct Case
    {
        Kind kind;
        juce::var loaded;
        const char* stored;
    };
}

TEST (SettingRange, ALoadedValueIsKeptBroughtToItsBoundOrIgnored)
{
    const auto nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        { Kind::unit, "0.5", "0.5" },            { Kind::unit, " 0.25 ", " 0.25 " },   { Kind::unit, ".5", ".5" },
        { Kind::unit, "+1.", "+1." },            { Kind::unit, "1e-400", "1e-400" },    { Kind::unit, "1e0", "1e0" },
        { Kind::unit, "1e308", "1.0" },          { Kind::unit, "1.0000001", "1.0" },    { Kind::unit, "-3", "0.0" },
        { Kind::unit, "-1e-400", "-1e-400" },    { Kind::unit, 2.5, "1.0" },            { Kind::unit, 7, "1.0" },
        { Kind::unit, "inf", kept },             { Kind::unit, "-Infinity", kept },     { Kind::unit, "nan", kept },
        { Kind::unit, "1e400", kept },           { Kind::unit, "-1e400", kept },        { Kind::unit, nan, kept },
        { Kind::unit, "", kept },                { Kind::unit, "  ", kept },            { Kind::unit, "abc", kept },
        { Kind::unit, "0.5abc", kept },          { Kind::unit, "0x1p-2", kept },        { Kind::unit, "1e", kept },
        { Kind::unit, "--1", kept },             { Kind::unit, "1.2.3", kept },         { Kind::unit, ".", kept },
        { Kind::unit, "0,5", kept },             { Kind::unit, juce::var(), kept },
        { Kind::signedUnit, "-0.5", "-0.5" },    { Kind::signedUnit, "-1.5", "-1.0" },  { Kind::signedUnit, "3", "1.0" },
        { Kind::mode, "1", "1" },                { Kind::mode, "2.0", "2.0" },          { Kind::mode, "-0", "-0" },
        { Kind::mode, "1.4", "1" },              { Kind::mode, "1.6", "2" },            { Kind::mode, "-5", "0" },
        { Kind::mode, "7", "2" },                { Kind::mode, "1e308", "2" },          { Kind::mode, "nan", kept },
    };

    for (const auto& c : cases)
    {
        const auto stored = SettingRange::normalised (c.kind, c.loaded);
        const auto label = c.loaded.toString() + " as " + juce::String ((int) c.kind);

        ASSERT_EQ (stored.has_value(), c.stored != kept) << label;

        if (stored.has_value())
        {
            EXPECT_EQ (stored->toString(), c.stored) << label;
            EXPECT_TRUE (stored->isString() || stored->isDouble() || stored->isInt()) << label;
            // Whatever is kept reads as a finite number in range, to every consumer.
            const auto reads = (double) *stored;
            EXPECT_TRUE (std::isfinite (reads)) << label;
            EXPECT_GE (reads, c.kind == Kind::signedUnit ? -1.0 : 0.0) << label;
            EXPECT_LE (reads, c.kind == Kind::mode ? 2.0 : 1.0) << label;
        }
    }
}

TEST (SettingRange, EveryNumberOfTheStateTreeHasARangeAndNoTextHasOne)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    std::vector<juce::ValueTree> pending { processor->stateTree };

    while (! pending.empty())
    {
        const auto node = pending.back();
        pending.pop_back();

        for (int i = 0; i < node.getNumProperties(); ++i)
        {
            const auto name = node.getPropertyName (i);
            const auto value = node[name];
            const auto kind = SettingRange::of (node.getType(), name);
            const auto label = node.getType().toString() + "." + name.toString();

            // The root's marks are rewritten by every load; everything else numeric is a setting.
            if (node == processor->stateTree)
            {
                EXPECT_FALSE (kind.has_value()) << label;
            }
            else
            {
                EXPECT_EQ (kind.has_value(), ! value.isString()) << label;
            }

            if (kind == Kind::mode)
            {
                EXPECT_TRUE (value.isInt()) << label;
            }
        }

        for (const auto& child : node)
            pending.push_back (child);
    }
}

namespace
{
    juce::MemoryBlock stateWith (const juce::String& node, const juce::String& attribute, const juce::String& value)
    {
        juce::XmlElement top ("top");
        auto* group = top.createNewChildElement (node.startsWith ("automation") ? "automation" : node.startsWith ("ondula") ? "ondula" : "delay");
        group->createNewChildElement (node)->setAttribute (attribute, value);

        juce::MemoryBlock block;
        juce::AudioProcessor::copyXmlToBinary (top, block);
        return block;
    }

    struct Instance
    {
        Instance (const juce::String& node, const juce::String& attribute, const juce::String& value)
        {
            const auto block = stateWith (node, attribute, value);
            processor->setStateInformation (block.getData(), (int) block.getSize());
        }

        juce::ValueTree find (const juce::String& type) const
        {
            for (const auto& group : processor->stateTree)
                if (auto n = group.getChildWithName (type); n.isValid())
                    return n;
            return {};
        }

        // An impulse and what follows it, through the whole processor.
        std::vector<float> render()
        {
            processor->prepareToPlay (48000.0, 512);
            std::vector<float> out;
            juce::MidiBuffer midi;

            for (int block = 0; block < 120; ++block)
            {
                juce::AudioBuffer<float> buffer (2, 512);
                buffer.clear();
                if (block == 0)
                    buffer.setSample (0, 0, 1.0f), buffer.setSample (1, 0, 1.0f);
                processor->processBlock (buffer, midi);
                out.insert (out.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + 512);
                out.insert (out.end(), buffer.getReadPointer (1), buffer.getReadPointer (1) + 512);
            }

            return out;
        }

        // What the next save writes for the property.
        juce::String saved (const juce::String& type, const juce::String& attribute) const
        {
            juce::MemoryBlock block;
            processor->getStateInformation (block);
            const auto xml = juce::AudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
            for (auto* group : xml->getChildIterator())
                if (auto* n = group->getChildByName (type))
                    return n->getStringAttribute (attribute, "(missing)");
            return "(no node)";
        }

        std::unique_ptr<OndulaDelayAudioProcessor> processor = std::make_unique<OndulaDelayAudioProcessor>();
    };
}

TEST (SettingRange, ALoadedNumberPlaysWhatTheHostAndTheFaderShowAndSavesAsItPlays)
{
    // Each value loaded into a fresh instance, beside a fresh instance given the value it must become.
    struct Row { const char* node; const char* attribute; const char* loaded; const char* becomes; };
    const Row rows[] = {
        { "delay_globals_time", "time", "1e308", "1.0" },
        { "delay_globals_time", "time", "inf", "0.5" },      // ignored: the default stays
        { "delay_globals_time", "time", "-7", "0.0" },
        { "delay_globals_time", "time_mode", "1.6", "2" },
        { "delay_globals_time", "time_mode", "nan", "1" },
        { "delay_globals_time", "feedback_amplitude", "1e9", "1.0" },
        { "delay_globals_dynamics", "wet", "12", "1.0" },
        { "ondula_pan", "phase", "-1e999", "0.0" },           // beyond a double: ignored, and 0 is the default
        { "automation_pan", "scale_y", "-40", "-1.0" },
    };

    for (const auto& r : rows)
    {
        const auto label = juce::String (r.node) + "." + r.attribute + "=" + r.loaded;
        Instance loaded (r.node, r.attribute, r.loaded);
        Instance reference (r.node, r.attribute, r.becomes);

        const auto value = (double) loaded.find (r.node)[r.attribute];
        EXPECT_EQ (value, juce::String (r.becomes).getDoubleValue()) << label;
        EXPECT_EQ (loaded.saved (r.node, r.attribute).getDoubleValue(), value) << label;

        // The host parameter bound to the property (none for the feedback) stands where it plays.
        for (auto& attachment : loaded.processor->parameterAttachments)
            if (attachment->tree.getType().toString() == r.node && attachment->property.toString() == r.attribute)
            {
                EXPECT_EQ (attachment->parameter.convertFrom0to1 (attachment->parameter.getValue()),
                           (float) juce::jlimit ((double) attachment->parameter.getNormalisableRange().start,
                                                 (double) attachment->parameter.getNormalisableRange().end, value)) << label;
            }

        EXPECT_EQ (loaded.render(), reference.render()) << label << ": plays as " << r.becomes;
    }

    // The fader shows the value that plays.
    for (const auto& [loadedText, becomes] : { std::pair<const char*, const char*> { "1e308", "1.0" }, { "inf", "0.5" } })
    {
        Instance loaded ("delay_globals_time", "time", loadedText), reference ("delay_globals_time", "time", becomes);
        std::unique_ptr<juce::AudioProcessorEditor> a (loaded.processor->createEditorIfNeeded()), b (reference.processor->createEditorIfNeeded());
        auto& shown = dynamic_cast<OndulaDelayAudioProcessorEditor&> (*a).globalView.timePanel.timeSlider;
        auto& expected = dynamic_cast<OndulaDelayAudioProcessorEditor&> (*b).globalView.timePanel.timeSlider;
        EXPECT_EQ (FaderText::shown (shown), FaderText::shown (expected)) << loadedText;
        loaded.processor->editorBeingDeleted (a.get());
        reference.processor->editorBeingDeleted (b.get());
    }
}
