#include "processor/StateBlockReader.h"
#include "support/DefaultState.h"
#include "support/ProcessorFixture.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <random>

using SavedStateTest = ProcessorFixture;

namespace
{
constexpr const char* header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

juce::MemoryBlock blockWith (const std::string& bytes, juce::int64 lengthField = -1, bool terminator = true)
{
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt ((int) (lengthField >= 0 ? lengthField : (juce::int64) bytes.size()));
    out.write (bytes.data(), bytes.size());
    if (terminator)
        out.writeByte (0);
    return out.getMemoryBlock();
}

juce::MemoryBlock saved (juce::AudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

/** Same nodes, same properties, same values: numbers compared as numbers, whatever their type,
    to the 16 digits the text form keeps. */
void expectSameValues (const juce::ValueTree& a, const juce::ValueTree& b)
{
    ASSERT_EQ (a.getType(), b.getType());
    ASSERT_EQ (a.getNumProperties(), b.getNumProperties()) << a.getType().toString();
    ASSERT_EQ (a.getNumChildren(), b.getNumChildren()) << a.getType().toString();

    for (int i = 0; i < a.getNumProperties(); ++i)
    {
        const auto name = a.getPropertyName (i);
        const auto va = a[name], vb = b[name];
        const bool numeric = va.isDouble() || va.isInt() || vb.isDouble() || vb.isInt();

        if (numeric)
            EXPECT_DOUBLE_EQ ((double) va, (double) vb) << a.getType().toString() << "." << name.toString();
        else
            EXPECT_EQ (va.toString(), vb.toString()) << a.getType().toString() << "." << name.toString();
    }

    for (int i = 0; i < a.getNumChildren(); ++i)
        expectSameValues (a.getChild (i), b.getChild (i));
}

juce::String treeText (const juce::ValueTree& tree)
{
    return tree.createXml()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
}
} // namespace

TEST_F (SavedStateTest, AFreshInstanceWritesTheExactBlock)
{
    const auto block = saved (*processor);
    const auto expectedText = juce::String (header) + " " + DefaultState::treeXml;
    const auto expectedBytes = expectedText.toStdString();

    ASSERT_EQ (block.getSize(), expectedBytes.size() + 9);
    const auto* bytes = static_cast<const char*> (block.getData());
    EXPECT_EQ (std::string (bytes, 4), "VC2!");

    juce::uint32 length = 0;
    std::memcpy (&length, bytes + 4, 4);
    EXPECT_EQ (length, block.getSize() - 9);
    EXPECT_EQ (std::string (bytes + 8, length), expectedBytes);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);
}

TEST_F (SavedStateTest, RoundTripKeepsEveryValueAndBringsTheParametersInLine)
{
    node ("automation_pan").setProperty ("scale_y", -0.25, nullptr);
    node ("delay_pattern").setProperty ("pattern_l", "1111000011110000", nullptr);
    node ("delay_globals_time").setProperty ("time_mode", 2, nullptr);
    node ("delay_globals_time").setProperty ("feedback_amplitude", 0.6, nullptr);
    node ("ondula_delay").setProperty ("curve", "0 0.2 0\n0.5 1 0.3\n", nullptr);
    processor->stateTree.setProperty ("preset_name", juce::String::fromUTF8 ("Rock & Roll \xc3\xa9t\xc3\xa9 \"<>\""), nullptr);
    const auto before = processor->stateTree.createCopy();
    const auto block = saved (*processor);

    auto other = std::make_unique<OndulaDelayAudioProcessor>();
    other->setStateInformation (block.getData(), (int) block.getSize());

    expectSameValues (other->stateTree, before);
    EXPECT_EQ (other->presetManager.getPresetName(), "Rock & Roll \xc3\xa9t\xc3\xa9 \"<>\"");

    // Unbound numbers stay strings, and so do bound ones whose parameter already stood at the
    // loaded value; bound ones the host had to follow come back as doubles.
    const auto find = [&] (const char* group, const char* type) { return other->stateTree.getChildWithName (group).getChildWithName (type); };
    EXPECT_TRUE (find ("delay", "delay_globals_time")["feedback_amplitude"].isString());
    EXPECT_TRUE (find ("delay", "delay_pattern")["time"].isString());
    EXPECT_TRUE (find ("automation", "automation_frequency")["value"].isString());
    EXPECT_TRUE (find ("delay", "delay_globals_time")["time_mode"].isDouble());
    EXPECT_TRUE (other->stateTree["version"].isInt());
    EXPECT_EQ (other->stateTree["software"].toString(), "ondula_delay");

    // Every host parameter now stands at its property's value.
    for (const auto& attachment : other->parameterAttachments)
    {
        const auto value = (float) (double) attachment->tree[attachment->property];
        EXPECT_FLOAT_EQ (attachment->parameter.convertFrom0to1 (attachment->parameter.getValue()),
                         juce::jlimit (attachment->parameter.getNormalisableRange().start,
                                       attachment->parameter.getNormalisableRange().end, value))
            << attachment->parameter.getParameterID();
    }
}

TEST_F (SavedStateTest, RejectedBlocksChangeNoSettingButRebindTheAudioObjects)
{
    const auto defaults = treeText (processor->stateTree);
    const auto valid = saved (*processor);
    const auto validText = std::string (header) + " " + DefaultState::treeXml;

    auto wrongMagic = valid;
    static_cast<char*> (wrongMagic.getData())[0] = 'X';
    auto zeroLength = valid;
    std::memset (static_cast<char*> (zeroLength.getData()) + 4, 0, 4);
    auto negativeLength = valid;
    std::memset (static_cast<char*> (negativeLength.getData()) + 4, 0xff, 4);

    const std::vector<juce::MemoryBlock> rejected = {
        {},
        juce::MemoryBlock (valid.getData(), 8),
        wrongMagic,
        zeroLength,
        negativeLength,
        blockWith (validText, (juce::int64) validText.size() - 10),       // cut short: no longer parses
        blockWith ("this is not xml"),
        blockWith (std::string (header) + "<preset version=\"1\"/>"),     // another root
        blockWith ("\xff\xfe<top/>"),                                      // not UTF-8
        blockWith (""),
    };

    for (size_t i = 0; i < rejected.size(); ++i)
    {
        processor->setStateInformation (rejected[i].getData(), (int) rejected[i].getSize());
        EXPECT_EQ (treeText (processor->stateTree), defaults) << "block " << i;
    }

    processor->setStateInformation (nullptr, 100);
    EXPECT_EQ (treeText (processor->stateTree), defaults);

    // The host went on seeing the values in the tree, and was told nothing.
    EXPECT_EQ (parameter ("automation_frequency_value").getValue(), 0.2f);
    EXPECT_EQ (parameter ("automation_frequency_amount").getValue(), 0.3f);
    EXPECT_EQ (gestureBegins, 0);
    EXPECT_EQ (parameterChanges, 0);
}

TEST_F (SavedStateTest, AFreshInstancesBlockLoadsWithoutMovingAnyParameter)
{
    const auto block = saved (*std::make_unique<OndulaDelayAudioProcessor>());
    processor->setStateInformation (block.getData(), (int) block.getSize());

    EXPECT_EQ (gestureBegins, 0);
    EXPECT_EQ (parameterChanges, 0);
    EXPECT_EQ (treeText (processor->stateTree), treeText (juce::ValueTree::fromXml (DefaultState::treeXml)));
}

TEST_F (SavedStateTest, LengthFieldsLongerThanTheDataAndRootsInCapitalsAreAccepted)
{
    const auto text = std::string (header) + " <TOP preset_name=\"Capital\"/>";
    const auto longer = blockWith (text, 100000);
    processor->setStateInformation (longer.getData(), (int) longer.getSize());
    EXPECT_EQ (processor->presetManager.getPresetName(), "Capital");

    const auto noTerminator = blockWith ("<Top preset_name=\"No terminator\"/>", -1, false);
    processor->setStateInformation (noTerminator.getData(), (int) noTerminator.getSize());
    EXPECT_EQ (processor->presetManager.getPresetName(), "No terminator");
}

TEST_F (SavedStateTest, MergeMatchesNodesByTypeAndIgnoresWhatTheLiveTreeLacks)
{
    const auto text = std::string (header)
                    + "<top version=\"7\" software=\"other\" extra=\"x\">"
                      "<automation><automation_pan value=\"0.9\" unknown=\"1\"/><automation_mystery value=\"1\"/></automation>"
                      "<automation><automation_pan value=\"0.1\"/></automation>"
                      "<ondula><ondula_delay scale=\"0.125\"/></ondula>"
                      "<surprise/>"
                      "</top>";
    const auto block = blockWith (text);
    const auto curveBefore = node ("ondula_delay")["curve"].toString();

    processor->setStateInformation (block.getData(), (int) block.getSize());

    EXPECT_NEAR ((double) node ("automation_pan")["value"], 0.9, 1e-6); // the first automation node only
    EXPECT_FALSE (node ("automation_pan").hasProperty ("unknown"));
    EXPECT_FALSE (processor->stateTree.hasProperty ("extra"));
    EXPECT_EQ (node ("ondula_delay")["curve"].toString(), curveBefore); // missing in the block: kept
    EXPECT_EQ ((double) node ("ondula_delay")["scale"], 0.125);
    EXPECT_EQ ((int) processor->stateTree["version"], 100);
    EXPECT_TRUE (processor->stateTree["version"].isInt());
    EXPECT_EQ (processor->stateTree["software"].toString(), "ondula_delay");
    EXPECT_EQ (parameter ("ondula_delay_amount").getValue(), 0.125f);
}

TEST_F (SavedStateTest, HostileDocumentsAreRefusedWithoutHarm)
{
    const auto defaults = treeText (processor->stateTree);

    std::string deep (header);
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    deep += "<top/>";
    for (int i = 0; i < 200000; ++i)
        deep += "</a>";

    const auto entities = std::string (header) + "<!DOCTYPE top [<!ENTITY a \"&a;&a;\">]><top preset_name=\"&a;\"/>";
    const auto badNames = std::string (header) + "<top><1automation/><delay 9x=\"1\"/></top>";
    // The framework's parser never returns from this one.
    const auto endless = std::string (header) + "<top preset_name=\"Endless\"><?pi?>text</top>";

    for (const auto& text : { deep, entities, badNames, endless })
    {
        const auto block = blockWith (text);
        processor->setStateInformation (block.getData(), (int) block.getSize());
        EXPECT_EQ (treeText (processor->stateTree), defaults);
    }

    // Text content has no place in the tree: it is dropped and the rest is merged.
    const auto withText = blockWith (std::string (header) + "<top preset_name=\"Texts\">hello<automation>x</automation></top>");
    processor->setStateInformation (withText.getData(), (int) withText.getSize());
    EXPECT_EQ (processor->presetManager.getPresetName(), "Texts");
}

TEST (StateBlockReader, StructureCheckFollowsNestingQuotesAndNames)
{
    const struct { const char* text; bool sound; } cases[] = {
        { "<a><b x=\"<c>\" y='/>'/><c></c></a>", true },
        { "<?xml version=\"1.0\"?> <!-- note <x> --><top/>", true },
        { "<a><b></a>", false },
        { "<a>", false },
        { "<a/><b/>", false },
        { "<a x=1/>", false },
        { "<a x=\"1/>", false },
        { "</a>", false },
        { "text only", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (StateBlockReader::hasSoundStructure (c.text, std::strlen (c.text)), c.sound) << c.text;
}

TEST_F (SavedStateTest, ThousandsOfMutatedBlocksNeverCrashAndAValidBlockStillLoads)
{
    node ("delay_globals_dynamics").setProperty ("wet", 0.3, nullptr);
    const auto valid = saved (*processor);
    const auto expected = treeText (processor->stateTree);
    std::mt19937 random (20261207);

    for (int round = 0; round < 3000; ++round)
    {
        juce::MemoryBlock block (valid);
        auto* bytes = static_cast<unsigned char*> (block.getData());

        switch (round % 4)
        {
            case 0: // flip a few bytes anywhere, the header included
                for (int i = 0; i < 1 + (int) (random() % 8); ++i)
                    bytes[random() % block.getSize()] = (unsigned char) random();
                break;
            case 1: // truncate
                block.setSize (random() % block.getSize());
                break;
            case 2: // overwrite a run of the text with printable noise
            {
                const auto start = 8 + random() % (block.getSize() - 9);
                for (auto i = start; i < std::min<size_t> (start + random() % 40, block.getSize()); ++i)
                    bytes[i] = (unsigned char) (32 + random() % 95);
                break;
            }
            default: // a random length field
            {
                const auto length = (juce::uint32) random();
                std::memcpy (bytes + 4, &length, 4);
                break;
            }
        }

        processor->setStateInformation (block.getData(), (int) block.getSize());
    }

    processor->setStateInformation (valid.getData(), (int) valid.getSize());
    EXPECT_EQ (treeText (processor->stateTree), expected);
}

TEST_F (SavedStateTest, NumbersWithOverlongExponentsAreCutToOnesThatReadTheSame)
{
    // Ten or more significant exponent digits would overflow the framework's number reader. A
    // number beyond a double's range, or text that is not one number, leaves the setting as it
    // was (here 0.0); what is stored reads the same to every consumer, the host included.
    const struct { const char* loaded; const char* stored; double reads; } cases[] = {
        { "1e11001101000", "0.0", 0.0 },
        { " 7.e+99999999999", "0.0", 0.0 },
        { "3e123456789", "0.0", 0.0 },                 // nine digits are read safely: infinity
        { "-2.5E-00001234567890x", "0.0", 0.0 },       // not one number
        { "Take e12345678901", "0.0", 0.0 },
        { "5e-1234567890", "5e-999999999", 0.0 },      // as small as the text says: zero
        { "1e0000000000000005", "1.0", 1.0 },          // leading zeros do not count; 100000 is held at 1
        { "0.25", "0.25", 0.25 },
    };

    for (const auto& c : cases)
    {
        const auto block = blockWith (std::string (header) + "<top><delay><delay_globals_time feedback_amplitude=\""
                                      + c.loaded + "\"/><delay_globals_dynamics wet=\"" + c.loaded + "\"/></delay></top>");
        processor->setStateInformation (block.getData(), (int) block.getSize());

        const auto stored = node ("delay_globals_time")["feedback_amplitude"];
        EXPECT_EQ (stored.toString(), c.stored) << c.loaded;
        EXPECT_EQ ((double) stored, c.reads) << c.loaded;
        EXPECT_EQ (parameter ("delay_globals_dynamics_wet").getValue(), (float) (double) node ("delay_globals_dynamics")["wet"]) << c.loaded;
    }
}

namespace
{
/** The seconds a call takes, printed beside the test's output. */
template <typename Call>
double timed (const std::string& what, Call&& call)
{
    const auto start = juce::Time::getMillisecondCounterHiRes();
    call();
    const auto seconds = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
    std::cout << "[ time     ] " << what << ": " << seconds << " s" << std::endl;
    return seconds;
}
} // namespace

TEST_F (SavedStateTest, AStateLargerThanTheCapChangesNothingAndSaysWhyWhileTheLargestAllowedLoads)
{
    const auto defaults = treeText (processor->stateTree);
    const auto around = std::string (header) + "<top preset_name=\"\"/>";
    const auto fill = StateBlockReader::maximumTextBytes - around.size();
    const auto withName = [&around] (size_t characters)
    {
        return blockWith (std::string (header) + "<top preset_name=\"" + std::string (characters, 'n') + "\"/>");
    };

    const auto tooLarge = withName (fill + 1);
    timed ("refusing a state one byte over the cap", [&] { processor->setStateInformation (tooLarge.getData(), (int) tooLarge.getSize()); });
    EXPECT_EQ (treeText (processor->stateTree), defaults);
    EXPECT_NE (processor->commandLine.text.find ("larger than 1 MB, nothing changed"), std::string::npos) << processor->commandLine.text;
    EXPECT_TRUE (processor->commandLine.blink);

    const auto largest = withName (fill);
    timed ("loading a state at the cap", [&] { processor->setStateInformation (largest.getData(), (int) largest.getSize()); });
    EXPECT_EQ (processor->presetManager.getPresetName().size(), fill);
}

// A loaded node may hold many children of one type; only the first is merged, and only once,
// or each level of such duplicates would multiply the work of the level below.
TEST_F (SavedStateTest, DuplicateNodesAreMergedOnceInTheOrderOfTheirLastPlace)
{
    struct Order : juce::ValueTree::Listener
    {
        void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override
        {
            heard.push_back (node.getType().toString() + "." + property.toString());
        }

        std::vector<juce::String> heard;
    } order;

    auto live = juce::ValueTree::fromXml (DefaultState::treeXml);
    const auto loaded = juce::ValueTree::fromXml ("<top><automation><automation_pan value=\"0.875\"/><automation_pan value=\"0.25\"/></automation>"
                                                  "<ondula><ondula_pan scale=\"0.125\"/></ondula>"
                                                  "<automation><automation_pan value=\"0.5\"/></automation></top>");
    live.addListener (&order);
    StateBlockReader::mergeInto (loaded, live);
    live.removeListener (&order);

    EXPECT_EQ (order.heard, (std::vector<juce::String> { "automation_pan.value", "ondula_pan.scale" }));
    EXPECT_EQ (live.getChildWithName ("automation").getChildWithName ("automation_pan")["value"].toString(), "0.875");

    // 20,000 copies of a group, the first holding 20,000 copies of a node: a walk that visited
    // every copy would merge that node 400 million times.
    const int copies = 20000;
    std::string text = std::string (header) + "<top><automation>";
    for (int i = 0; i < copies; ++i)
        text += "<automation_pan value=\"0.75\"/>";
    text += "</automation>";
    for (int i = 1; i < copies; ++i)
        text += "<automation/>";
    text += "</top>";

    const auto large = blockWith (text);
    ASSERT_LE (text.size(), StateBlockReader::maximumTextBytes);
    timed ("merging 20,000 duplicate groups", [&] { processor->setStateInformation (large.getData(), (int) large.getSize()); });
    EXPECT_EQ ((double) node ("automation_pan")["value"], 0.75);
}

// The framework's own conversion decodes an attribute named "base64:..." into a block of the size
// its text declares: an exception out of the host's call from 30 bytes, half a gigabyte from 45.
// The plug-in keeps no binary value: such attributes are left out, the console names them, and
// the rest of the state loads as text.
TEST_F (SavedStateTest, BinaryNamedAttributesAreLeftOutWithAConsoleLineAndTheRestLoads)
{
    std::string tenLarge = "<top";
    for (int i = 0; i < 10; ++i)
        tenLarge += " base64:a" + std::to_string (i) + "=\"200000000.QUJD\"";
    tenLarge += "/>";

    const struct { std::string xml; const char* console; const char* name; } cases[] = {
        { "<top base64:x=\"-1.\"/>", "binary value base64:x left out", "Default Preset" },
        { "<top base64:preset_name=\"100000000.QUJD\"/>", "binary value base64:preset_name left out", "Default Preset" },
        { tenLarge, "10 binary values left out, base64:a0 first", "Default Preset" },
        { "<top preset_name=\"Kept\"><delay><delay_globals_dynamics base64:wet=\"2147483647.QUJD\"/></delay></top>",
          "binary value base64:wet left out", "Kept" },
    };

    for (const auto& c : cases)
    {
        auto expected = juce::ValueTree::fromXml (DefaultState::treeXml);
        expected.setProperty ("preset_name", c.name, nullptr);

        const auto block = blockWith (std::string (header) + c.xml);
        EXPECT_NO_THROW (processor->setStateInformation (block.getData(), (int) block.getSize())) << c.xml;
        EXPECT_EQ (treeText (processor->stateTree), treeText (expected)) << c.xml;
        EXPECT_NE (processor->commandLine.text.find (std::string ("Saved state loaded, ") + c.console), std::string::npos)
            << processor->commandLine.text;

        const auto written = saved (*processor);
        EXPECT_EQ (juce::String::fromUTF8 ((const char*) written.getData(), (int) written.getSize()).indexOf ("base64"), -1);
    }
}

// Only the numeric settings are read as numbers; a name, a curve or a pattern that starts like a
// number with a long exponent is a text, kept and saved as it was written.
TEST_F (SavedStateTest, TextsThatStartLikeNumbersAreKeptAsWritten)
{
    for (const auto* text : { "2e1234567890 mix", "1e11001101000", "-2.5E-00001234567890x", "5e-1234567890" })
    {
        const auto block = blockWith (std::string (header) + "<top preset_name=\"" + text + "\"><ondula><ondula_pan curve=\"" + text
                                      + "\"/></ondula><delay><delay_pattern pattern_l=\"" + text + "\"/></delay></top>");
        processor->setStateInformation (block.getData(), (int) block.getSize());

        const auto written = saved (*processor);
        processor->setStateInformation (written.getData(), (int) written.getSize());

        EXPECT_EQ (processor->stateTree["preset_name"].toString(), text);
        EXPECT_EQ (node ("ondula_pan")["curve"].toString(), text);
        EXPECT_EQ (node ("delay_pattern")["pattern_l"].toString(), text);
    }
}
