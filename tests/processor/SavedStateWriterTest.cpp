#include "processor/SavedStateWriter.h"
#include "processor/SettingRange.h"
#include "support/HostileText.h"
#include "support/ScratchDirectory.h"
#include "support/StateRoundTrip.h"

#include <gtest/gtest.h>

#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace
{
juce::MemoryBlock blockWith (const std::string& xml)
{
    const auto text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + xml;
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt ((int) text.size());
    out.write (text.data(), text.size());
    out.writeByte (0);
    return out.getMemoryBlock();
}

// The name in single quotes, the other texts in double quotes, so raw quotes of both kinds occur.
std::string stateWith (const std::string& name, const std::string& curve, const std::string& pattern)
{
    return "<top preset_name='" + name + "'><automation><automation_frequency curve=\"" + curve + "\"/></automation>"
           "<delay><delay_pattern pattern_l=\"" + pattern + "\"/><delay_globals_time time=\"0.3\"/></delay></top>";
}

std::string printable (const std::string& bytes)
{
    std::string out;

    for (const unsigned char c : bytes)
        out += (c >= 0x20 && c < 0x7f) ? std::string (1, (char) c) : "\\x" + juce::String::toHexString ((int) c).paddedLeft ('0', 2).toStdString();

    return out;
}

// Text as documents carry it: each piece is what the gate reads (accepted) or what it must
// refuse. Surrogates in every encoding, noncharacters, controls, 4-byte characters, the characters
// the framework's writer turns into entities and references, and forms that are not UTF-8.
struct Piece
{
    const char* encoded;
    bool accepted;
};

const Piece pieces[] = {
    { "\xed\xa0\x80", true }, { "\xed\xbf\xbf", true }, { "\xed\xa0\xbd\xed\xb8\x80", true }, { "\xed\xb8\x80\xed\xa0\xbd", true },
    { "&#xD800;", true }, { "&#55296;", true }, { "&#xDFFF;", true }, { "&#xD83D;&#xDE00;", true }, { "\xed\xa0\xbd&#xDE00;", true },
    { "\xef\xbf\xbe", true }, { "&#xFFFF;", true }, { "&#xFDD0;", true }, { "\xf4\x8f\xbf\xbf", true }, { "&#1114111;", true },
    { "\x01", true }, { "&#x1;", true }, { "\x1f", true }, { "\x7f", true }, { "\xc2\x85", true }, { "&#x9F;", true },
    { "\t", true }, { "\r\n", true }, { "&#13;", true }, { "&#10;", true },
    { "\xf0\x9f\x8e\xb9", true }, { "&#x1F3B9;", true }, { "\xc3\xa9", true }, { "&#233;", true }, { "\xe2\x82\xac", true },
    { "&amp;", true }, { "&lt;", true }, { "&gt;", true }, { ">", true }, { "&quot;", true }, { "&apos;", true },
    { "`", true }, { "\\", true }, { " ", true }, { ".", true }, { "~", true }, { "/", true }, { "..", true }, { "a", true },
    { "\xef\xbf\xbd", true },
    { "\xc0\x80", false }, { "\xc1\xbf", false }, { "\xe0\x80\xaf", false }, { "\xf0\x80\x80\xaf", false }, { "\xf4\x90\x80\x80", false },
    { "\xed\xa0", false }, { "\x80", false }, { "&#0;", false }, { "&#x110000;", false }, { "&#xD800", false },
};

std::string encodedAtRandom (std::mt19937& random)
{
    // A character from every range that matters, in one of the three ways a document may carry it.
    const juce::uint32 ranges[][2] = { { 1, 0x7f }, { 0x80, 0x7ff }, { 0x800, 0xd7ff }, { 0xd800, 0xdfff },
                                       { 0xe000, 0xffff }, { 0x10000, 0x10ffff } };
    const auto& range = ranges[random() % std::size (ranges)];
    const auto c = range[0] + (juce::uint32) (random() % (range[1] - range[0] + 1));

    switch (random() % 3)
    {
        case 0:  return "&#" + std::to_string (c) + ";";
        case 1:  return "&#x" + juce::String::toHexString ((int) c).toStdString() + ";";
        default: break;
    }

    if (c == '<' || c == '&')
        return c == '<' ? "&lt;" : "&amp;";

    char bytes[4];
    return std::string (bytes, UnicodeText::encode (c, bytes));
}

struct Instances
{
    std::unique_ptr<OndulaDelayAudioProcessor> holder = std::make_unique<OndulaDelayAudioProcessor>();
    std::unique_ptr<OndulaDelayAudioProcessor> other = std::make_unique<OndulaDelayAudioProcessor>();
    juce::MemoryBlock defaults = StateRoundTrip::savedState (*holder);
};
} // namespace

// Whatever text the gate accepts in a state, the saved state, the preset file and the file name
// the plug-in writes of it pass the gate again and read back the same; what the gate refuses
// changes nothing.
TEST (SavedStateWriter, EveryTextTheGateAcceptsIsWrittenBackInAFormItAcceptsWithTheSameValues)
{
    Instances p;
    std::mt19937 random (20240930);
    int accepted = 0, refused = 0;

    const auto tryState = [&] (const std::string& xml, int expected) // expected: 1 accepted, 0 refused, -1 either
    {
        const auto block = blockWith (xml);
        const auto before = StateRoundTrip::savedState (*p.holder);
        const bool accepts = StateBlockReader::readXml (block.getData(), (int) block.getSize()) != nullptr;

        if (expected >= 0)
        {
            EXPECT_EQ (accepts, expected == 1) << printable (xml);
        }

        p.holder->setStateInformation (block.getData(), (int) block.getSize());

        if (! accepts)
        {
            ++refused;
            EXPECT_TRUE (StateRoundTrip::savedState (*p.holder) == before) << "a refused state changed something: " << printable (xml);
            return;
        }

        ++accepted;
        EXPECT_NEAR ((double) p.holder->stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_time")["time"], 0.3, 1.0e-6);
        EXPECT_EQ (StateRoundTrip::check (*p.holder, *p.other, p.defaults), "") << printable (xml);
    };

    for (const auto& piece : pieces)
    {
        const auto text = "x" + std::string (piece.encoded) + "y";
        tryState (stateWith (text, "", ""), piece.accepted);
        tryState (stateWith ("", text, ""), piece.accepted);
        tryState (stateWith ("", "", text), piece.accepted);
    }

    for (int round = 0; round < 300; ++round)
    {
        std::string texts[3];

        for (auto& text : texts)
            for (int n = (int) (random() % 12); n > 0; --n)
                text += random() % 4 == 0 ? std::string (pieces[random() % std::size (pieces)].encoded) : encodedAtRandom (random);

        tryState (stateWith (texts[0], texts[1], texts[2]), -1);
    }

    EXPECT_GT (accepted, 200) << refused << " refused";
}

// The framework's writer makes a quote six bytes and a control character four or five, so a state
// the gate accepts at its cap may not fit it as written. A long number is then written as its
// value, its longest texts are cut only where that is not enough, and the state and the preset
// still load with every setting.
TEST (SavedStateWriter, AStateTooLargeToWriteWholeKeepsEverySettingAndTheStartOfItsLongestTexts)
{
    using HostileText::repeated;
    const size_t room = StateBlockReader::maximumTextBytes - 400;
    const auto settings = "<delay><delay_globals_time time=\"0.3\"/><delay_globals_dynamics wet=\"0.25\"/></delay>";

    const struct { const char* what; std::string xml; bool nameWhole; } cases[] = {
        { "a name as long as the cap allows", "<top preset_name='" + repeated ("n", room) + "'>" + settings + "</top>", false },
        { "a name of quotes", "<top preset_name='" + repeated ("\"", room) + "'>" + settings + "</top>", false },
        { "a curve with raw line breaks and a name of control characters", "<top preset_name='" + repeated ("\x01\t", room / 8) + "'>" + settings
              + "<ondula><ondula_pan curve=\"" + repeated ("0.5 0.5 0\n", room / 20) + "\"/></ondula></top>", false },
        { "a number as long as the cap allows", "<top><delay><delay_globals_time time=\"0.3" + repeated ("0", room) + "\"/>"
              "<delay_globals_dynamics wet=\"0.25\"/></delay></top>", true },
        { "a name of quotes beside a number padded with tabs, each too long to write beside the other",
          "<top preset_name='N" + repeated ("\"", 140000) + "'><delay><delay_pattern time=\"0.3" + repeated ("\t", 190000) + "\"/>"
              "<delay_globals_dynamics wet=\"0.25\"/></delay></top>", true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Instances p;
        const auto block = blockWith (c.xml);
        ASSERT_LE (block.getSize() - 9, StateBlockReader::maximumTextBytes);
        p.holder->setStateInformation (block.getData(), (int) block.getSize());

        const auto start = juce::Time::getMillisecondCounterHiRes();
        const auto saved = StateRoundTrip::savedState (*p.holder);
        std::cout << "[ time     ] saving " << c.what << ": " << (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0 << " s" << std::endl;

        ASSERT_LE (saved.getSize() - 9, StateBlockReader::maximumTextBytes);
        p.other->setStateInformation (saved.getData(), (int) saved.getSize());

        auto presetDocument = p.holder->stateTree.createXml();
        juce::String error;
        const auto preset = PresetFolder::readText (SavedStateWriter::presetText (*presetDocument), error);
        ASSERT_NE (preset, nullptr) << error;
        const auto fromPreset = std::make_unique<OndulaDelayAudioProcessor>();
        fromPreset->mergeLoadedState (preset.get());

        for (const auto& group : p.holder->stateTree)
            for (const auto& node : group)
                for (int i = 0; i < node.getNumProperties(); ++i)
                {
                    const auto name = node.getPropertyName (i);
                    const auto held = node[name];

                    for (auto* reloaded : { p.other.get(), fromPreset.get() })
                    {
                        const auto back = reloaded->stateTree.getChildWithName (group.getType()).getChildWithName (node.getType())[name];

                        if (SettingRange::of (node.getType(), name))
                            EXPECT_NEAR ((double) back, (double) held, 1.0e-6) << node.getType().toString() << "." << name.toString();
                        else
                            EXPECT_TRUE (held.toString().startsWith (back.toString())) << node.getType().toString() << "." << name.toString();
                    }
                }

        EXPECT_NEAR ((double) p.other->stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_dynamics")["wet"], 0.25, 1.0e-6);
        EXPECT_TRUE (p.holder->stateTree["preset_name"].toString().startsWith (p.other->stateTree["preset_name"].toString()));

        if (c.nameWhole)
        {
            for (auto* reloaded : { p.other.get(), fromPreset.get() })
                EXPECT_TRUE (reloaded->stateTree["preset_name"].toString() == p.holder->stateTree["preset_name"].toString()) << "the name is kept whole";
        }
    }
}

// The cut must know what the framework's writer makes of each character; more would cut too much.
TEST (SavedStateWriter, CountsTheBytesTheFrameworksWriterGivesEachCharacter)
{
    std::vector<juce::juce_wchar> characters;

    for (juce::juce_wchar c = 1; c < 0x100; ++c)
        characters.push_back (c);

    for (juce::juce_wchar c : { 0x7ff, 0x800, 0xfffd, 0xffff, 0x10000, 0x1f3b9, 0x10ffff })
        characters.push_back (c);

    const auto empty = juce::String ("<a v=\"\"/>").length();

    for (const auto c : characters)
    {
        const auto value = juce::String::charToString (c) + "x";
        juce::XmlElement element ("a");
        element.setAttribute ("v", value);
        const auto written = element.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).getNumBytesAsUTF8() - (size_t) empty;
        EXPECT_EQ (SavedStateWriter::writtenBytes (value), written) << "U+" << juce::String::toHexString ((int) c);
    }
}

// Text reaches the tree around the gate too: a host's unpaired UTF-16 half, bytes pasted from a
// clipboard. The writers clean it, so the state and the preset still pass the gate.
TEST (SavedStateWriter, TextThatCameInAroundTheGateIsWrittenClean)
{
    Instances p;
    const std::string bytes = "half \xed\xa0\x80, bad \xc0\xaf, beyond \xf7\xbf\xbf\xbf";
    const auto text = juce::String (juce::CharPointer_UTF8 (bytes.c_str()), juce::CharPointer_UTF8 (bytes.c_str() + bytes.size()))
                    + juce::String::charToString ((juce::juce_wchar) 0xdc00);
    const auto clean = juce::String::fromUTF8 ("half \xef\xbf\xbd, bad \xef\xbf\xbd\xef\xbf\xbd, beyond \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    p.holder->stateTree.setProperty ("preset_name", text, nullptr);
    p.holder->stateTree.getChildWithName ("delay").getChildWithName ("delay_pattern").setProperty ("pattern_l", text, nullptr);

    const auto saved = StateRoundTrip::savedState (*p.holder);
    p.other->setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_EQ (p.other->stateTree["preset_name"].toString(), clean);
    EXPECT_EQ (p.other->stateTree.getChildWithName ("delay").getChildWithName ("delay_pattern")["pattern_l"].toString(), clean);

    ScratchDirectory scratch ("ondula-writer");
    const auto file = juce::File (juce::String (scratch.path())).getChildFile (PresetFileName::forName (text));
    ASSERT_EQ (PresetFolder::write (p.holder->stateTree, file), "");
    juce::String error;
    const auto preset = PresetFolder::read (file, error);
    ASSERT_NE (preset, nullptr) << error;
    EXPECT_EQ (preset->getStringAttribute ("preset_name"), clean);
    EXPECT_EQ (PresetFolder (file.getParentDirectory()).presets(), juce::Array<juce::File> { file }) << "the file is listed";
}

// The framework's writer gives a binary value a "base64:" name, which its reader would decode into
// a block of the size the text declares. Nothing the plug-in writes carries one, wherever the
// value came from.
TEST (SavedStateWriter, ABinaryValueInTheTreeIsWrittenNeitherInTheStateNorInThePreset)
{
    Instances p;
    const juce::MemoryBlock bytes ("ABC", 3);
    p.holder->stateTree.setProperty ("preset_name", bytes, nullptr);
    p.holder->stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_time").setProperty ("extra", bytes, nullptr);

    const auto saved = StateRoundTrip::savedState (*p.holder);
    auto document = p.holder->stateTree.createXml();
    const auto preset = juce::String (SavedStateWriter::presetText (*document));

    EXPECT_EQ (juce::String::fromUTF8 ((const char*) saved.getData(), (int) saved.getSize()).indexOf ("base64"), -1);
    EXPECT_EQ (preset.indexOf ("base64"), -1) << preset;
    EXPECT_EQ (preset.indexOf ("preset_name"), -1) << "the binary name is left out";
    EXPECT_NE (preset.indexOf ("time=\"0.5\""), -1) << "the rest is written";
}
