#include "processor/UnicodeText.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
const std::string replacement = "\xef\xbf\xbd";
}

// Bytes the plug-in may be handed from outside, and what it keeps of them.
TEST (UnicodeText, KeepsEveryCharacterAndReplacesOnlySurrogatesAndMalformedBytes)
{
    const struct { const char* what; std::string bytes, kept; } cases[] = {
        { "ASCII and control characters", "a\x01\x1f\x7f\t\r\n", "a\x01\x1f\x7f\t\r\n" },
        { "two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb9", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb9" },
        { "C1 controls", "\xc2\x80\xc2\x9f", "\xc2\x80\xc2\x9f" },
        { "noncharacters", "\xef\xb7\x90\xef\xbf\xbe\xef\xbf\xbf\xf4\x8f\xbf\xbf", "\xef\xb7\x90\xef\xbf\xbe\xef\xbf\xbf\xf4\x8f\xbf\xbf" },
        { "the replacement character", replacement, replacement },
        { "lone high surrogate", "x\xed\xa0\x80y", "x" + replacement + "y" },
        { "lone low surrogate at the end", "x\xed\xbf\xbf", "x" + replacement },
        { "surrogate pair", "\xed\xa0\xbd\xed\xb8\x80", "\xf0\x9f\x98\x80" },
        { "highest pair", "\xed\xaf\xbf\xed\xbf\xbf", "\xf4\x8f\xbf\xbf" },
        { "pair the wrong way round", "\xed\xb8\x80\xed\xa0\xbd", replacement + replacement },
        { "overlong NUL and slash", "\xc0\x80\xc0\xaf", replacement + replacement + replacement + replacement },
        { "overlong three and four bytes", "\xe0\x80\xaf\xf0\x80\x80\xaf", std::string() + replacement + replacement + replacement
                                                                             + replacement + replacement + replacement + replacement },
        { "above U+10FFFF", "\xf4\x90\x80\x80", replacement + replacement + replacement + replacement },
        { "truncated before a character", "\xe2\x82" "a", replacement + replacement + "a" },
        { "stray continuation and bytes that lead nothing", "\x80\xfe\xff", replacement + replacement + replacement },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (UnicodeText::cleaned (std::string_view (c.bytes)), c.kept) << c.what;
        EXPECT_EQ (UnicodeText::isClean (c.bytes), c.bytes == c.kept) << c.what;
        EXPECT_TRUE (UnicodeText::isClean (c.kept)) << c.what;

        // Strings the framework built from the raw bytes, as it does for a clipboard or a host.
        const auto text = juce::String (juce::CharPointer_UTF8 (c.bytes.c_str()), juce::CharPointer_UTF8 (c.bytes.c_str() + c.bytes.size()));
        EXPECT_EQ (UnicodeText::cleaned (text).toStdString(), c.kept) << c.what;
    }
}

TEST (UnicodeText, CleansEveryValueAndTextOfADocument)
{
    juce::XmlElement document ("top");
    document.setAttribute ("name", juce::String::charToString ((juce::juce_wchar) 0xd800) + "x");
    auto* child = document.createNewChildElement ("node");
    child->setAttribute ("curve", juce::String::charToString ((juce::juce_wchar) 0xdc00));
    child->setAttribute ("kept", juce::String::charToString ((juce::juce_wchar) 0xfffe));
    child->addTextElement (juce::String::charToString ((juce::juce_wchar) 0xdbff));

    UnicodeText::clean (document);

    const auto fffd = juce::String::charToString ((juce::juce_wchar) 0xfffd);
    EXPECT_EQ (document.getStringAttribute ("name"), fffd + "x");
    EXPECT_EQ (child->getStringAttribute ("curve"), fffd);
    EXPECT_EQ (child->getStringAttribute ("kept"), juce::String::charToString ((juce::juce_wchar) 0xfffe));
    EXPECT_EQ (child->getAllSubText(), fffd);
}
