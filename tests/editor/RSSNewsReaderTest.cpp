#include <gtest/gtest.h>

#include "../../editor/RSSNewsReader.h"

#include <chrono>
#include <numeric>
#include <random>
#include <set>

namespace
{
    juce::String feed (const juce::String& items, const juce::String& rootTag = "rss")
    {
        return "<?xml version=\"1.0\"?><" + rootTag + " version=\"2.0\"><channel><title>News</title>"
             + items + "</channel></" + rootTag + ">";
    }

    juce::String item (int i)
    {
        return "<item><title>Title " + juce::String (i) + "</title><link>https://example.invalid/" + juce::String (i)
             + "</link></item>";
    }

    struct ScratchFile
    {
        juce::TemporaryFile file { ".rss" };

        explicit ScratchFile (const juce::String& text) { file.getFile().replaceWithText (text); }
        juce::URL url() const { return juce::URL (file.getFile()); }
    };

    void waitForFetch (RSSNewsReader& reader)
    {
        ASSERT_TRUE (reader.waitForThreadToExit (10000));
    }

    std::vector<int> sorted (std::vector<int> v)
    {
        std::sort (v.begin(), v.end());
        return v;
    }

    std::vector<int> iota (int n)
    {
        std::vector<int> v ((size_t) n);
        std::iota (v.begin(), v.end(), 0);
        return v;
    }

    struct FeedCase
    {
        const char* name;
        juce::String text;
        bool accepted;
        std::vector<juce::String> titles;
        std::vector<juce::String> links = {}; // checked when given
    };

    class FeedParsing : public ::testing::TestWithParam<FeedCase> {};
}

TEST_P (FeedParsing, KeepsPairedTitlesAndWebLinksOfTheFirstChannel)
{
    const auto& c = GetParam();
    std::vector<juce::String> titles { "untouched" }, links { "untouched" };

    EXPECT_EQ (RSSNewsReader::parseFeed (c.text, titles, links), c.accepted);

    if (c.accepted)
    {
        EXPECT_EQ (titles, c.titles);
        ASSERT_EQ (links.size(), titles.size());
        if (! c.links.empty())
        {
            EXPECT_EQ (links, c.links);
        }
        for (auto& link : links)
            EXPECT_TRUE (link.startsWith ("https://"));
    }
    else
    {
        EXPECT_EQ (titles, std::vector<juce::String> { "untouched" }) << "a rejected body leaves the lists alone";
    }
}

INSTANTIATE_TEST_SUITE_P (Documents, FeedParsing, ::testing::Values (
    FeedCase { "threeItems", feed (item (0) + item (1) + item (2)), true, { "Title 0", "Title 1", "Title 2" } },
    FeedCase { "mixedCaseTags",
               "<RSS><Channel><ITEM><Title>A</Title><LINK>https://a.invalid</LINK></ITEM>"
               "<item><TITLE> B\n </TITLE><link>https://b.invalid</link></item></Channel></RSS>",
               true, { "A", "B" } },
    FeedCase { "channelWithoutItems", feed (""), true, {} },
    FeedCase { "notRss", "<html><body>Not found</body></html>", false, {} },
    FeedCase { "notXmlAtAll", "502 Bad Gateway", false, {} },
    FeedCase { "emptyBody", "", false, {} },
    FeedCase { "rssWithoutChannel", "<rss version=\"2.0\"></rss>", false, {} },
    FeedCase { "onlyFirstChannel",
               "<rss><channel>" + item (1) + "</channel><channel>" + item (2) + "</channel></rss>", true, { "Title 1" } },
    FeedCase { "incompleteAndUnsafeItemsSkipped",
               feed ("<item><title>no link</title></item><item><link>https://x.invalid</link></item>"
                     "<item><title>script</title><link>javascript:alert(1)</link></item>"
                     "<item><title>file</title><link>file:///etc/passwd</link></item>"
                     "<item><title>ns</title><atom:link>https://x.invalid</atom:link></item>" + item (7)),
               true, { "Title 7" } },
    FeedCase { "entityDeclarationsRefused",
               "<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">]><rss><channel>" + item (1) + "</channel></rss>", false, {} },
    FeedCase { "undefinedEntityRefused", feed ("<item><title>a&nbsp;b</title><link>https://x.invalid/</link></item>"), false, {} },
    FeedCase { "titleTextFromCdataReferencesAndNestedMarkup",
               feed ("<item><title><![CDATA[Tips & <b>tricks</b>]]> &#x263A; <i>now</i></title><link>https://x.invalid/</link></item>"),
               true, { juce::String::fromUTF8 ("Tips & <b>tricks</b> \xe2\x98\xba now") } },
    FeedCase { "controlCharactersBecomeBlanks",
               feed ("<item><title>a&#1;b&#x9F;c\r\nd</title><link>https://x.invalid/</link></item>"), true, { "a b c  d" } },
    FeedCase { "linksMadeSafeToOpen",
               feed ("<item><title>t</title><link> HTTPS://x.invalid/a b$(id) </link></item>"), true, { "t" },
               { "https://x.invalid/a%20b%24%28id%29" } },
    FeedCase { "byteOrderMarkBeforeTheDeclaration", juce::String (juce::CharPointer_UTF8 ("\xef\xbb\xbf")) + feed (item (3)), true, { "Title 3" } }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (RSSNewsReader, KeepsAtMostFiveHundredItemsAndAFewHundredCharactersOfATitle)
{
    juce::String items = "<item><title>" + juce::String::repeatedString ("x", 1000) + "</title><link>https://x.invalid/</link></item>";
    for (int i = 1; i < 600; ++i)
        items << item (i);

    std::vector<juce::String> titles, links;
    ASSERT_TRUE (RSSNewsReader::parseFeed (feed (items), titles, links));
    EXPECT_EQ (titles.size(), (size_t) RSSNewsReader::maxItems);
    EXPECT_EQ (links.size(), titles.size());
    EXPECT_EQ (titles.front(), juce::String::repeatedString ("x", RSSNewsReader::maxTitleCharacters));
    EXPECT_EQ (titles.back(), "Title " + juce::String (RSSNewsReader::maxItems - 1));
}

TEST (RSSNewsReader, NewReaderOffersOnlyTheBuiltInItem)
{
    RSSNewsReader reader;
    EXPECT_EQ (reader.getThreadName(), "Corvex Delay RSS");
    EXPECT_EQ (reader.titles, std::vector<juce::String> { RSSNewsReader::builtInTitle });
    EXPECT_EQ (reader.links, std::vector<juce::String> { RSSNewsReader::builtInLink });
    EXPECT_EQ (reader.order, std::vector<int> { 0 });
    EXPECT_EQ (reader.itemIndex, 0);
}

TEST (RSSNewsReader, FetchedFeedReplacesTheBuiltInItemWithAPermutation)
{
    ScratchFile file (feed (item (0) + item (1) + item (2)));
    RSSNewsReader reader (file.url());
    reader.start();
    waitForFetch (reader);

    EXPECT_EQ (reader.titles.size(), 3u);
    EXPECT_EQ (reader.links.size(), 3u);
    EXPECT_EQ (sorted (reader.order), iota (3));
    EXPECT_FALSE (reader.fetchEnabled.load());

    std::set<juce::String> seen;
    for (int i = 0; i < 3; ++i, reader.advance())
    {
        const auto title = reader.currentTitle();
        EXPECT_EQ (reader.currentLink(), "https://example.invalid/" + title.fromLastOccurrenceOf (" ", false, false));
        seen.insert (title);
    }
    EXPECT_EQ (seen.size(), 3u) << "stepping shows every item once";
}

TEST (RSSNewsReader, UnreadableOrEmptyFeedsKeepExactlyTheBuiltInItem)
{
    ScratchFile emptyChannel (feed (""));
    ScratchFile notRss ("<html/>");
    const juce::URL urls[] = { emptyChannel.url(), notRss.url(), juce::URL (juce::File ("/nonexistent/feed.rss")) };

    for (const auto& url : urls)
    {
        RSSNewsReader reader (url);
        reader.start();
        waitForFetch (reader);
        EXPECT_EQ (reader.titles, std::vector<juce::String> { RSSNewsReader::builtInTitle }) << url.toString (false);
        EXPECT_EQ (reader.order, std::vector<int> { 0 });
    }
}

TEST (RSSNewsReader, CheckItemIndexWrapsWithoutReshufflingAndRebuildsOnlyForANewCount)
{
    RSSNewsReader reader;
    reader.titles = { "a", "b", "c", "d" };
    reader.links = { "1", "2", "3", "4" };
    reader.itemIndex = 2;
    reader.checkItemIndex();
    EXPECT_EQ (reader.itemIndex, 2) << "an index below the count stays";
    const auto order = reader.order;
    EXPECT_EQ (sorted (order), iota (4));

    reader.itemIndex = 4;
    reader.checkItemIndex();
    EXPECT_EQ (reader.itemIndex, 0);
    EXPECT_EQ (reader.order, order);
}

TEST (RSSNewsReader, CheckItemIndexAlwaysLeavesAValidEntryWhateverTheListsHold)
{
    std::mt19937 random (1234);

    for (int round = 0; round < 500; ++round)
    {
        RSSNewsReader reader;
        reader.titles.resize ((size_t) (random() % 6), "t");
        reader.links.resize ((size_t) (random() % 6), "l");
        reader.order.resize ((size_t) (random() % 6), 0);
        reader.itemIndex = (int) (random() % 12) - 3;
        reader.checkItemIndex();

        const auto n = (int) std::min (reader.titles.size(), reader.links.size());
        ASSERT_GE (n, 1);
        ASSERT_GE (reader.itemIndex, 0);
        ASSERT_LT (reader.itemIndex, n);
        ASSERT_EQ ((int) reader.order.size(), n);
        ASSERT_LT (reader.order[(size_t) reader.itemIndex], n);
    }
}

TEST (RSSNewsReaderConcurrency, ListsAreNeverSeenHalfBuiltWhileTheFeedArrives)
{
    juce::String items;
    for (int i = 0; i < 400; ++i)
        items << item (i);

    ScratchFile file (feed (items));
    RSSNewsReader reader (file.url());
    reader.start();

    std::set<int> counts;
    while (reader.isThreadRunning())
    {
        counts.insert (reader.numItems());
        reader.advance();
        (void) reader.currentTitle();
    }
    counts.insert (reader.numItems());

    for (int count : counts)
        EXPECT_TRUE (count == 1 || count == 400) << count;
    EXPECT_EQ (reader.numItems(), 400);
}

namespace
{
    // Accepts one connection on the loopback interface and holds it open without answering.
    class SilentServer : public juce::Thread
    {
    public:
        SilentServer() : juce::Thread ("silent feed server")
        {
            listening = socket.createListener (0, "127.0.0.1");
            startThread();
        }

        ~SilentServer() override
        {
            signalThreadShouldExit();
            socket.close();
            stopThread (5000);
        }

        void run() override
        {
            while (! threadShouldExit())
            {
                if (socket.waitUntilReady (true, 50) != 1)
                    continue;

                client.reset (socket.waitForNextConnection());
                accepted.signal();

                // Hold the request for at most ten seconds.
                for (int i = 0; i < 200 && ! threadShouldExit(); ++i)
                    wait (50);
                return;
            }
        }

        juce::StreamingSocket socket;
        std::unique_ptr<juce::StreamingSocket> client;
        juce::WaitableEvent accepted;
        bool listening = false;
    };
}

TEST (RSSNewsReaderConcurrency, DestroyingTheReaderCutsAHangingRequestShort)
{
    SilentServer server;
    ASSERT_TRUE (server.listening);

    auto reader = std::make_unique<RSSNewsReader> (juce::URL ("http://127.0.0.1:" + juce::String (server.socket.getBoundPort())
                                                              + "/rss_feeds/ondula_delay_free.rss"));
    reader->start();
    ASSERT_TRUE (server.accepted.wait (5000)) << "the request reached the server";
    juce::Thread::sleep (100);

    const auto started = std::chrono::steady_clock::now();
    reader.reset();
    const auto elapsed = std::chrono::steady_clock::now() - started;

    EXPECT_LT (std::chrono::duration_cast<std::chrono::milliseconds> (elapsed).count(), 1000);
}
