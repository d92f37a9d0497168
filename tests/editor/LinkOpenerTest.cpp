#include <gtest/gtest.h>

#include "../../editor/LinkOpener.h"
#include "../support/ScratchDirectory.h"

#include <cstdlib>

namespace
{
    struct LinkCase
    {
        const char* name;
        const char* link;
        const char* opened; // empty: refused
    };

    class WebLinks : public ::testing::TestWithParam<LinkCase> {};
}

// The opener is handed exactly one argument besides the program, or nothing at all.
TEST_P (WebLinks, AreOpenedAsOneSafeArgumentOrRefused)
{
    const auto& c = GetParam();
    LinkOpener opener;
    std::vector<juce::StringArray> started;
    opener.startProcess = [&] (const juce::StringArray& arguments) { started.push_back (arguments); return true; };

    const bool opened = opener.open (juce::String::fromUTF8 (c.link));

    if (juce::String (c.opened).isEmpty())
    {
        EXPECT_FALSE (opened);
        EXPECT_TRUE (started.empty());
        return;
    }

    EXPECT_TRUE (opened);
    ASSERT_EQ (started.size(), 1u);
    EXPECT_EQ (started[0], (juce::StringArray { "xdg-open", c.opened }));
    EXPECT_FALSE (started[0][1].containsAnyOf ("$`'\"()\\{}<>| \t\n")) << "nothing a shell would act on";
}

INSTANTIATE_TEST_SUITE_P (Links, WebLinks, ::testing::Values (
    LinkCase { "plainHttps", "https://example.com/news/1?a=1&b=2#top", "https://example.com/news/1?a=1&b=2#top" },
    LinkCase { "schemeInCapitalsAndBlanksAround", "  HTTP://Example.com  ", "http://Example.com" },
    LinkCase { "portAndIPv6Literal", "http://[2001:db8::1]:8080/x", "http://[2001:db8::1]:8080/x" },
    LinkCase { "commandSubstitution", "http://host/item/$(touch${IFS}/tmp/x)", "http://host/item/%24%28touch%24%7BIFS%7D/tmp/x%29" },
    LinkCase { "backticksQuotesAndBlanks", "https://host/a`id` \"b\" 'c'\\d", "https://host/a%60id%60%20%22b%22%20%27c%27%5Cd" },
    LinkCase { "controlCharacters", "https://host/a\nb\tc", "https://host/a%0Ab%09c" },
    LinkCase { "nonAsciiPath", "https://host/caf\xc3\xa9", "https://host/caf%C3%A9" },
    LinkCase { "strayPercentAndSecondHash", "https://host/%41%zz#a#b", "https://host/%41%25zz#a%23b" },
    LinkCase { "javascript", "javascript:alert(1)", "" },
    LinkCase { "file", "file:///etc/passwd", "" },
    LinkCase { "ftp", "ftp://host/file", "" },
    LinkCase { "noHost", "https:///path", "" },
    LinkCase { "schemeOnly", "https://", "" },
    LinkCase { "userInformation", "https://kelvatone.com@evil.example/", "" },
    LinkCase { "backslashInHost", "https://evil.example\\@good.example/", "" },
    LinkCase { "shellInHost", "https://host$(id)/", "" },
    LinkCase { "blankInHost", "https://ho st/", "" },
    LinkCase { "emptyLabel", "https://a..b/", "" },
    LinkCase { "portZero", "https://host:0/", "" },
    LinkCase { "portTooLarge", "https://host:65536/", "" },
    LinkCase { "portNotNumeric", "https://host:80a/", "" },
    LinkCase { "relative", "//host/path", "" }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (LinkOpener, RefusesLinksLongerThanTheLimit)
{
    const auto base = juce::String ("https://host/");
    const auto fits = base + juce::String::repeatedString ("a", LinkOpener::maximumLinkBytes - base.length());

    EXPECT_EQ (LinkOpener::safeWebLink (fits), fits);
    EXPECT_TRUE (LinkOpener::safeWebLink (fits + "a").isEmpty());
    // Encoding may not grow a link past the limit either.
    EXPECT_TRUE (LinkOpener::safeWebLink (base + juce::String::repeatedString ("$", 1000)).isEmpty());
}

// A missing browser launcher is found out before a child is started: a started child whose exec
// fails would report nothing.
TEST (LinkOpener, FindsOnlyAnExecutableFileOnTheSearchPath)
{
    ScratchDirectory scratch ("link-opener");
    const juce::File root (scratch.path());
    const auto plain = root.getChildFile ("plain"), folder = root.getChildFile ("folder"), tools = root.getChildFile ("tools");
    for (const auto& f : { plain, folder.getChildFile ("xdg-open"), tools })
        ASSERT_TRUE (f.createDirectory());
    ASSERT_TRUE (plain.getChildFile ("xdg-open").replaceWithText ("not executable"));
    const auto program = tools.getChildFile ("xdg-open");
    ASSERT_TRUE (program.replaceWithText ("#!/bin/sh\n") && program.setExecutePermission (true));

    const struct { const char* name; juce::String path; juce::File found; } cases[] = {
        { "emptyPath", "", {} },
        { "onlyAFileWithoutExecutePermission", plain.getFullPathName(), {} },
        { "onlyAFolderWithTheName", folder.getFullPathName(), {} },
        { "relativeAndEmptyEntriesAreSkipped", ":.:tools::", {} },
        { "theFirstFolderThatHoldsIt", plain.getFullPathName() + ":" + folder.getFullPathName() + "::" + tools.getFullPathName(), program },
    };

    for (const auto& c : cases)
        EXPECT_EQ (LinkOpener::findProgram ("xdg-open", c.path), c.found) << c.name;
}

TEST (LinkOpener, SaysWhyALinkWasNotOpened)
{
    ScratchDirectory scratch ("link-opener-path");
    const auto* previous = std::getenv ("PATH");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv ("PATH", scratch.path().c_str(), 1); // a folder without xdg-open

    LinkOpener opener;
    EXPECT_FALSE (opener.open ("https://example.com/"));
    EXPECT_EQ (opener.failure, "xdg-open not found");

    EXPECT_FALSE (opener.open ("javascript:alert(1)"));
    EXPECT_EQ (opener.failure, "not a well-formed web address");

    opener.startProcess = [] (const juce::StringArray&) { return true; };
    EXPECT_TRUE (opener.open ("https://example.com/"));
    EXPECT_TRUE (opener.failure.isEmpty());

    ::setenv ("PATH", saved.c_str(), 1);
}
