#include "processor/UntrustedXml.h"

#include <gtest/gtest.h>

#include <iostream>
#include <iterator>
#include <random>
#include <string>

using namespace std::string_literals;

namespace
{
struct GateCase
{
    const char* name;
    std::string text;
    bool accepted;
};

class UntrustedXmlGate : public ::testing::TestWithParam<GateCase> {};

std::string nested (int levels)
{
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += "<a>";
    for (int i = 0; i < levels; ++i)
        text += "</a>";
    return text;
}

/** Writes the events back out as a document, so a test can compare one string. */
class EventLog : public UntrustedXml::Reader
{
public:
    void startElement (std::string_view name) override { log += "<" + std::string (name) + ">"; open.push_back (std::string (name)); }
    void attribute (std::string_view name, std::string_view value) override { log += "@" + std::string (name) + "=" + std::string (value) + ";"; }
    void endElement() override { log += "</" + open.back() + ">"; open.pop_back(); }
    void characters (std::string_view utf8) override { log += "[" + std::string (utf8) + "]"; }

    std::string log;
    std::vector<std::string> open;
};
} // namespace

TEST_P (UntrustedXmlGate, AcceptsOnlyDocumentsTheFrameworkReadsAsTheGateDoes)
{
    const auto& c = GetParam();
    EXPECT_EQ (UntrustedXml::check (c.text, {}), c.accepted) << c.text;
}

INSTANTIATE_TEST_SUITE_P (Documents, UntrustedXmlGate, ::testing::Values (
    GateCase { "plainDocument", "<?xml version=\"1.0\"?><a b=\"1\" c='2'><d/>text</a>", true },
    GateCase { "nonAsciiNamesAndText", "<caf\xc3\xa9 n\xc3\xa4me=\"\xe2\x98\xba\">\xf0\x9f\x8e\xb5</caf\xc3\xa9>", true },
    GateCase { "encodedSurrogateInText", "<a>\xed\xa0\x80</a>", true },
    GateCase { "truncatedSequenceAtTheEnd", "<a>x\xf1", false },
    GateCase { "truncatedSequenceBeforeATag", "<a>\xf1</a>", false },
    GateCase { "overlongLessThan", "<a>\xc0\xbc" "b></a>", false },
    GateCase { "beyondUnicode", "<a>\xf4\x90\x80\x80</a>", false },
    GateCase { "nulByte", "<a>\0</a>"s, false },
    GateCase { "doctype", "<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>", false },
    GateCase { "doctypeWithoutEntities", "<!DOCTYPE rss [a a a a]><rss/>", false },
    GateCase { "declarationInsideTheRoot", "<a><!ELEMENT a ANY></a>", false },
    GateCase { "cdataHidesTags", "<a><![CDATA[<b><c>]]></a>", true },
    GateCase { "cdataOutsideTheRoot", "<![CDATA[x]]><a/>", false },
    GateCase { "unterminatedCdata", "<a><![CDATA[<b>", false },
    GateCase { "processingInstructionEndsAtItsOwnClose", "<?pi > <b> ?><a/><?after?>", true },
    GateCase { "processingInstructionInsideTheRoot", "<a><?pi?>text</a>", false },
    GateCase { "commentHidesTags", "<a><!-- <b> --></a>", true },
    GateCase { "unterminatedComment", "<a><!-- </a>", false },
    GateCase { "predefinedAndNumericReferences", "<a t=\"&quot;&#x41;\">&amp;&lt;&gt;&apos;&#65;&#x1F3B5;</a>", true },
    GateCase { "undefinedEntity", "<a>&u;</a>", false },
    GateCase { "bareAmpersand", "<a>Tom & Jerry</a>", false },
    GateCase { "referenceWithoutSemicolon", "<a>&#x41</a>", false },
    GateCase { "badHexDigitSwallowsATag", "<a>&#xG</a><a>&#xG</a>", false },
    GateCase { "badReferenceInAttribute", "<a b=\"&#xG;\"/>", false },
    GateCase { "referenceToNul", "<a>&#0;</a>", false },
    GateCase { "referenceToSurrogate", "<a>&#xD800;</a>", true },
    GateCase { "referenceBeyondUnicode", "<a>&#x110000;</a>", false },
    GateCase { "upperCaseHexMarker", "<a>&#X41;</a>", false },
    GateCase { "closingNameMustMatch", "<a><b></a></b>", false },
    GateCase { "spaceAfterLessThan", "<a>< b/></a>", false },
    GateCase { "invalidNameCharacter", "<a\xc3\x97/>", false },
    GateCase { "secondRoot", "<a/><b/>", false },
    GateCase { "depthThirtyTwo", nested (32), true },
    GateCase { "depthThirtyThree", nested (33), false },
    GateCase { "thirtyThousandOpenTags", nested (30000).substr (0, 90000), false }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (UntrustedXml, ElementCountAndNameVocabularyAreBounded)
{
    UntrustedXml::Limits limits;
    limits.maximumElements = 3;
    limits.maximumDistinctNames = 2;

    const struct { const char* text; bool accepted; } cases[] = {
        { "<a b='1'><a/><a b='2'/></a>", true },   // three elements, two names used again and again
        { "<a><a/><a/><a/></a>", false },          // a fourth element
        { "<a b='1'><c/></a>", false },            // a third name
        { "<a><b/></a>", true },
    };

    for (const auto& c : cases)
        EXPECT_EQ (UntrustedXml::check (c.text, limits), c.accepted) << c.text;
}

TEST (UntrustedXml, ReaderHearsElementsAndDecodedCharactersInDocumentOrder)
{
    EventLog events;
    const std::string text = "<?xml version=\"1.0\"?>\n<r x=\"&amp;\"><t>a&amp;b<![CDATA[<x>]]>&#x263A;<!-- c -->d<u/></t></r>\n";

    ASSERT_TRUE (UntrustedXml::check (text, {}, nullptr, &events));
    EXPECT_EQ (events.log, "<r>@x=&;<t>[a&b<x>\xe2\x98\xba][d]<u></u></t></r>");
}

// Surrogates come directly in the bytes (as some converters write them) or as references (as the
// framework's writer gives an unpaired half); either way, in values and in text, the reader hears
// the character a pair stands for and U+FFFD for any other surrogate.
TEST (UntrustedXml, SurrogatesInEveryEncodingAreReadAsTheirPairsCharacterOrTheReplacement)
{
    const std::string replacement = "\xef\xbf\xbd", grinning = "\xf0\x9f\x98\x80", first = "\xf0\x90\x80\x80";
    const struct { const char* what; std::string encoded, read; } cases[] = {
        { "lone high, in the bytes", "\xed\xa0\x80", replacement },
        { "lone low, in the bytes", "\xed\xb0\x80", replacement },
        { "lone high, decimal", "&#55296;", replacement },
        { "lone low, hexadecimal", "&#xDFFF;", replacement },
        { "pair in the bytes", "\xed\xa0\xbd\xed\xb8\x80", grinning },
        { "pair as references", "&#xD83D;&#56832;", grinning },
        { "pair half in the bytes, half a reference", "\xed\xa0\xbd&#xDE00;", grinning },
        { "low before high", "\xed\xb8\x80\xed\xa0\xbd", replacement + replacement },
        { "high, then a pair", "\xed\xa0\x80\xed\xa0\x80\xed\xb0\x80", replacement + first },
        { "high between characters", "a\xed\xa0\x80" "b", "a" + replacement + "b" },
        { "the replacement itself", "\xef\xbf\xbd", replacement },
    };

    for (const auto& c : cases)
    {
        EventLog events;
        ASSERT_TRUE (UntrustedXml::check ("<r v=\"" + c.encoded + "\" w='" + c.encoded + "'>" + c.encoded + "</r>", {}, nullptr, &events)) << c.what;
        EXPECT_EQ (events.log, "<r>@v=" + c.read + ";@w=" + c.read + ";[" + c.read + "]</r>") << c.what;
    }

    // A tag between the halves of a pair parts them; inside CDATA they are in the bytes.
    EventLog events;
    ASSERT_TRUE (UntrustedXml::check ("<r>\xed\xa0\xbd<b/>\xed\xb8\x80<![CDATA[\xed\xa0\xbd]]>&#xDE00;</r>", {}, nullptr, &events));
    EXPECT_EQ (events.log, "<r>[" + replacement + "]<b></b>[" + replacement + grinning + "]</r>");

    const auto tree = UntrustedXml::parse ("<r v='&#xD83D;&#xDE00;&#xD800;'/>", {});
    ASSERT_NE (tree, nullptr);
    EXPECT_EQ (tree->getStringAttribute ("v"), juce::String::fromUTF8 ((grinning + replacement).c_str()));
}

TEST (UntrustedXml, StopsAtOnceWhenCancelled)
{
    const std::atomic<bool> cancel { true };
    EventLog events;

    EXPECT_FALSE (UntrustedXml::check (nested (10), {}, &cancel, &events));
    EXPECT_EQ (events.log, "");
    EXPECT_FALSE (UntrustedXml::isValidUtf8 ("plain", &cancel));
}

TEST (UntrustedXml, EachRefusalSaysWhichRuleTheDocumentBroke)
{
    UntrustedXml::Limits limits;
    limits.maximumBytes = 64;
    limits.maximumDepth = 3;
    limits.maximumElements = 4;
    limits.maximumDistinctNames = 3;

    using R = UntrustedXml::Refusal;
    const struct { std::string text; R refusal; const char* described; } cases[] = {
        { "<a b='1'><c/></a>", R::none, "readable" },
        { "<a>" + std::string (64, ' ') + "</a>", R::tooLarge, "larger than 64 bytes" },
        { "<a>\xc0\xbc</a>", R::notUtf8, "not UTF-8 text" },
        { "<a><b></a>", R::malformed, "not well-formed XML" },
        { "<a><a><a><a/></a></a></a>", R::tooDeep, "nested deeper than 3 levels" },
        { "<a><a/><a/><a/><a/></a>", R::tooManyElements, "more than 4 elements" },
        { "<a><b/><c/><d/></a>", R::tooManyNames, "more than 3 different names" },
        { "<a b='1' b='2'/>", R::repeatedAttribute, "an attribute given twice" },
        { "<!DOCTYPE a><a/>", R::declaration, "a DOCTYPE or other declaration" },
        { "<a><?x y?>text</a>", R::processingInstruction, "a processing instruction inside the document" },
        { "<a>&u;</a>", R::reference, "an entity reference other than the predefined ones" },
    };

    for (const auto& c : cases)
    {
        auto refusal = R::cancelled;
        EXPECT_EQ (UntrustedXml::check (c.text, limits, nullptr, nullptr, &refusal), c.refusal == R::none) << c.text;
        EXPECT_EQ (refusal, c.refusal) << c.text;
        EXPECT_EQ (UntrustedXml::describe (refusal, limits), c.described) << c.text;
    }
}

TEST (UntrustedXml, ParseBuildsTheTreeFromItsOwnPassWithoutCharacterData)
{
    const auto xml = UntrustedXml::parse ("<top name=\"&lt;x&gt;&#10;\" n='1'>text<child a=\"&amp;\"/><child/>"
                                          "<other><deep/></other></top>", {});
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getStringAttribute ("name"), "<x>\n");
    EXPECT_EQ (xml->getStringAttribute ("n"), "1");
    EXPECT_EQ (xml->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()),
               "<top name=\"&lt;x&gt;&#10;\" n=\"1\"><child a=\"&amp;\"/><child/><other><deep/></other></top>");

    auto refusal = UntrustedXml::Refusal::none;
    EXPECT_EQ (UntrustedXml::parse (nested (33), {}, &refusal), nullptr);
    EXPECT_EQ (refusal, UntrustedXml::Refusal::tooDeep);
    EXPECT_EQ (UntrustedXml::parse ("<a>\xf1", {}), nullptr);
}

// The framework's ValueTree::fromXml decodes an attribute named "base64:..." into a block of the
// size its text declares; the tree the gate builds holds none, and says how many it left out.
TEST (UntrustedXml, ParseLeavesOutBinaryNamedAttributesAndCountsThem)
{
    UntrustedXml::LeftOut leftOut;
    const auto xml = UntrustedXml::parse ("<top base64:a=\"-1.\" base64=\"kept\" b=\"base64:x\"><child base64:c=\"100000000.QUJD\"/></top>",
                                          {}, nullptr, &leftOut);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()),
               "<top base64=\"kept\" b=\"base64:x\"><child/></top>");
    EXPECT_EQ (leftOut.binaryValues, 2);
    EXPECT_EQ (UntrustedXml::describe (leftOut), "2 binary values left out, base64:a first");

    EXPECT_EQ (UntrustedXml::parse ("<top base64:a=\"-1.\"", {}, nullptr, &leftOut), nullptr);
    EXPECT_EQ (leftOut.binaryValues, 0) << "a refused document leaves nothing out";
}

// The framework's parser appends each reference after a scan of the whole string read so far;
// the gate's cost must grow with the document, not with its square.
TEST (UntrustedXml, AMegabyteOfReferencesParsesInOnePass)
{
    const size_t count = ((1u << 20) - 64) / 15;
    std::string amps, newlines;
    amps.reserve (count * 5);
    newlines.reserve (count * 5);

    for (size_t i = 0; i < count; ++i)
    {
        amps += "&amp;";
        newlines += "0&#10;";
    }

    const auto text = "<top a=\"" + amps + "\" b=\"" + newlines.substr (0, amps.size()) + "\">" + amps + "</top>";
    ASSERT_LE (text.size(), (size_t) 1 << 20);

    const auto start = juce::Time::getMillisecondCounterHiRes();
    const auto xml = UntrustedXml::parse (text, {});
    const auto seconds = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;

    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getStringAttribute ("a").length(), (int) count);
    std::cout << "[ time     ] " << text.size() << " bytes of references parsed in " << seconds << " s" << std::endl;
}

namespace
{
void elementsInOrder (const juce::XmlElement& element, int depth, std::string& out)
{
    if (element.isTextElement())
        return;

    out += std::to_string (depth) + element.getTagName().toStdString();

    for (int i = 0; i < element.getNumAttributes(); ++i)
        out += "@" + element.getAttributeName (i).toStdString() + "=" + element.getAttributeValue (i).toStdString();

    out += " ";

    for (auto* child : element.getChildIterator())
        elementsInOrder (*child, depth + 1, out);
}

class ElementLog : public UntrustedXml::Reader
{
public:
    void startElement (std::string_view name) override { log += (log.empty() ? "" : " ") + std::to_string (depth++) + std::string (name); }
    void attribute (std::string_view name, std::string_view value) override { log += "@" + std::string (name) + "=" + std::string (value); }
    void endElement() override { --depth; }
    void characters (std::string_view) override {}

    std::string log;
    int depth = 0;
};
} // namespace

// The tree the gate builds must be the one the framework's parser would have read from an accepted
// document: the same elements at the same depths, with the same attributes and values.
TEST (UntrustedXml, MutatedDocumentsItAcceptsReadTheSameInTheFramework)
{
    const std::string seed = "<?xml version=\"1.0\"?><!-- head --><?pi x?><rss a=\"&amp;&#x41;\" b='&lt;'><channel>"
                             "<item n=\"1\" t='&quot;&#x263A;'><title>T &amp; <![CDATA[<x>]]> &#233;</title><link>https://h/1</link></item>"
                             "<!-- c --><item><title>caf\xc3\xa9</title><e/></item></channel></rss><?tail?>";
    const char* pieces[] = { "<", ">", "/", "&", "&#x", ";", "]]>", "<!--", "-->", "<![CDATA[", "<?pi?>", "?>", "'", "\"",
                             "=", "\xf1", "\xc0\xbc", "<a>", "</a>", "&amp;", "&#xG", " ", " c='&#10;x'", " d=\"1\"" };
    std::mt19937 random (20240611);
    int accepted = 0;

    for (int round = 0; round < 20000; ++round)
    {
        auto text = seed;

        for (int edits = 1 + (int) (random() % 3); edits > 0; --edits)
        {
            const auto at = random() % (text.size() + 1);

            switch (random() % 3)
            {
                case 0:  text.insert (at, pieces[random() % std::size (pieces)]); break;
                case 1:  text.erase (at, 1 + random() % 4); break;
                default: if (at < text.size()) text[at] = (char) random(); break;
            }
        }

        ElementLog gate;

        if (! UntrustedXml::check (text, {}, nullptr, &gate))
            continue;

        // The framework refuses some documents the gate lets through (text before the root): safe.
        const auto xml = juce::parseXML (juce::String::fromUTF8 (text.data(), (int) text.size()));

        if (xml == nullptr)
            continue;

        ++accepted;

        std::string framework, built;
        elementsInOrder (*xml, 0, framework);
        ASSERT_EQ (framework, gate.log + " ") << text;

        const auto tree = UntrustedXml::parse (text, {});
        ASSERT_NE (tree, nullptr) << text;
        elementsInOrder (*tree, 0, built);
        ASSERT_EQ (built, framework) << text;
    }

    EXPECT_GT (accepted, 1000) << "enough mutated documents get through both to compare";
}
