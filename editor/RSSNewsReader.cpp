#include "RSSNewsReader.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <string>

#if JUCE_USE_CURL
 #include <curl/curl.h>
#endif

#if JUCE_USE_CURL
// libcurl's multi interface lets another thread wake the transfer at once, so closing the
// editor never waits for a silent server or a pending name lookup.
class RSSNewsReader::Request
{
public:
    explicit Request (const juce::URL& url)
        : multi (curl_multi_init()), easy (curl_easy_init())
    {
        if (multi == nullptr || easy == nullptr)
            return;

        const auto address = url.toString (true).toStdString();
        curl_easy_setopt (easy, CURLOPT_URL, address.c_str());
        curl_easy_setopt (easy, CURLOPT_WRITEFUNCTION, &Request::write);
        curl_easy_setopt (easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt (easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt (easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt (easy, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt (easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt (easy, CURLOPT_CONNECTTIMEOUT_MS, (long) connectTimeoutMs);
        curl_easy_setopt (easy, CURLOPT_TIMEOUT_MS, (long) transferTimeoutMs);
       #if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt (easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt (easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
       #endif
       #if LIBCURL_VERSION_NUM >= 0x075700
        // Do not join a resolver thread that is still waiting on DNS when the request is dropped.
        curl_easy_setopt (easy, CURLOPT_QUICK_EXIT, 1L);
       #endif
        curl_multi_add_handle (multi, easy);
    }

    ~Request()
    {
        if (multi != nullptr && easy != nullptr)
            curl_multi_remove_handle (multi, easy);

        if (easy != nullptr)
            curl_easy_cleanup (easy);

        if (multi != nullptr)
            curl_multi_cleanup (multi);
    }

    juce::String perform()
    {
        if (multi == nullptr || easy == nullptr)
            return {};

        int running = 1;

        while (! cancelRequested.load())
        {
            if (curl_multi_perform (multi, &running) != CURLM_OK || running == 0)
                break;

            if (curl_multi_poll (multi, nullptr, 0, 1000, nullptr) != CURLM_OK)
                break;
        }

        if (cancelRequested.load() || running != 0)
            return {};

        int pending = 0;

        while (auto* message = curl_multi_info_read (multi, &pending))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy && message->data.result != CURLE_OK)
                return {};

        return juce::String::fromUTF8 (body.data(), (int) body.size());
    }

    // Called from another thread while perform() may be polling.
    void cancel()
    {
        cancelRequested = true;

        if (multi != nullptr)
            curl_multi_wakeup (multi);
    }

private:
    static size_t write (char* data, size_t size, size_t count, void* userData)
    {
        auto& self = *static_cast<Request*> (userData);
        const auto bytes = size * count;

        // Returning a short count makes libcurl abort the transfer.
        if (self.cancelRequested.load() || self.body.size() + bytes > (size_t) maxFeedBytes)
            return 0;

        self.body.append (data, bytes);
        return bytes;
    }

    CURLM* multi;
    CURL* easy;
    std::string body;
    // Written by cancel() on the message thread, read by the fetch thread.
    std::atomic<bool> cancelRequested { false };
};
#else
class RSSNewsReader::Request
{
public:
    explicit Request (const juce::URL& url) : stream (url, false)
    {
        stream.withConnectionTimeout (connectTimeoutMs).withNumRedirectsToFollow (5);
    }

    juce::String perform()
    {
        const auto started = juce::Time::getMillisecondCounter();

        if (cancelRequested.load() || ! stream.connect (nullptr) || stream.getStatusCode() >= 400)
            return {};

        juce::MemoryOutputStream body;
        char buffer[4096];

        while (! cancelRequested.load() && ! stream.isExhausted())
        {
            if (juce::Time::getMillisecondCounter() - started > (juce::uint32) transferTimeoutMs)
                return {};

            const auto read = stream.read (buffer, (int) sizeof (buffer));

            if (read <= 0 || body.getDataSize() + (size_t) read > (size_t) maxFeedBytes)
                break;

            body.write (buffer, (size_t) read);
        }

        return cancelRequested.load() ? juce::String() : body.toUTF8();
    }

    void cancel()
    {
        cancelRequested = true;
        stream.cancel();
    }

private:
    juce::WebInputStream stream;
    // Written by cancel() on the message thread, read by the fetch thread.
    std::atomic<bool> cancelRequested { false };
};
#endif

RSSNewsReader::RSSNewsReader (const juce::URL& address)
    : juce::Thread ("Corvex Delay RSS"), feedUrl (address)
{
    checkItemIndex();
}

RSSNewsReader::~RSSNewsReader()
{
    signalThreadShouldExit();

    {
        const juce::ScopedLock sl (requestLock);
        cancelled = true;

        if (activeRequest != nullptr)
            activeRequest->cancel();
    }

    // The request is cut short above, so this wait is bounded by one poll round.
    waitForThreadToExit (-1);
}

void RSSNewsReader::start()
{
    fetchEnabled = true;
    fetchStarted = false;
    startThread (juce::Thread::Priority::normal);
}

void RSSNewsReader::run()
{
    if (! fetchEnabled.load() || fetchStarted.load())
    {
        signalThreadShouldExit();
        return;
    }

    fetchStarted = true;
    feedText = fetch();
    fetchEnabled = false;

    std::vector<juce::String> newTitles, newLinks;

    if (! threadShouldExit() && parseFeed (feedText, newTitles, newLinks))
    {
        // Swapped in whole under the lock, so the strip never sees a list half built.
        const juce::ScopedLock sl (listLock);
        titles.swap (newTitles);
        links.swap (newLinks);
        checkItemIndexLocked();
    }

    signalThreadShouldExit();
}

juce::String RSSNewsReader::fetch()
{
    if (feedUrl.isLocalFile())
    {
        const auto file = feedUrl.getLocalFile();
        return file.getSize() <= maxFeedBytes ? file.loadFileAsString() : juce::String();
    }

    Request request (feedUrl);

    {
        const juce::ScopedLock sl (requestLock);

        if (cancelled)
            return {};

        activeRequest = &request;
    }

    auto text = request.perform();

    const juce::ScopedLock sl (requestLock);
    activeRequest = nullptr;
    return text;
}

namespace
{
    bool tagIs (const juce::XmlElement& element, const char* name)
    {
        return element.getTagName().equalsIgnoreCase (name);
    }

    // Feed text may carry line breaks and tabs; the strip shows one line.
    juce::String oneLine (const juce::String& text)
    {
        return text.replaceCharacters ("\r\n\t", "   ").trim();
    }

    // A remote feed must not make the editor open local files or scripts.
    bool isWebLink (const juce::String& link)
    {
        return link.startsWithIgnoreCase ("https://") || link.startsWithIgnoreCase ("http://");
    }
}

bool RSSNewsReader::parseFeed (const juce::String& text, std::vector<juce::String>& titlesOut,
                               std::vector<juce::String>& linksOut)
{
    // Entity declarations can expand a small document into a huge one; a news feed needs none.
    if (text.containsIgnoreCase ("<!ENTITY"))
        return false;

    if (auto outer = juce::XmlDocument (text).getDocumentElement (true); outer == nullptr || ! tagIs (*outer, "rss"))
        return false;

    const auto root = juce::XmlDocument (text).getDocumentElement();

    if (root == nullptr)
        return false;

    const juce::XmlElement* channel = nullptr;

    for (auto* child : root->getChildIterator())
    {
        if (tagIs (*child, "channel"))
        {
            channel = child;
            break;
        }
    }

    if (channel == nullptr)
        return false;

    titlesOut.clear();
    linksOut.clear();

    // Items are taken as pairs: the first title and the first link of each item, and an item
    // missing either is skipped, so that a title never points at another item's link.
    for (auto* item : channel->getChildIterator())
    {
        if (! tagIs (*item, "item"))
            continue;

        juce::String title, link;
        bool hasTitle = false, hasLink = false;

        for (auto* field : item->getChildIterator())
        {
            if (! hasTitle && tagIs (*field, "title"))
            {
                title = oneLine (field->getAllSubText());
                hasTitle = true;
            }
            else if (! hasLink && tagIs (*field, "link"))
            {
                link = field->getAllSubText().trim();
                hasLink = true;
            }
        }

        if (hasTitle && hasLink && isWebLink (link))
        {
            titlesOut.push_back (title);
            linksOut.push_back (link);
        }
    }

    return true;
}

void RSSNewsReader::checkItemIndex()
{
    const juce::ScopedLock sl (listLock);
    checkItemIndexLocked();
}

void RSSNewsReader::checkItemIndexLocked()
{
    auto n = (int) std::min (links.size(), titles.size());

    if (itemIndex >= n || itemIndex < 0)
    {
        if (n < 1)
        {
            links.assign (1, builtInLink);
            titles.assign (1, builtInTitle);
            n = 1;
        }

        itemIndex = 0;
    }

    if ((int) order.size() == n)
        return;

    order.resize ((size_t) n);
    std::iota (order.begin(), order.end(), 0);
    std::mt19937 generator (std::random_device {}());
    std::shuffle (order.begin(), order.end(), generator);
}

juce::String RSSNewsReader::currentTitle()
{
    const juce::ScopedLock sl (listLock);
    checkItemIndexLocked();
    return titles[(size_t) order[(size_t) itemIndex]];
}

juce::String RSSNewsReader::currentLink()
{
    const juce::ScopedLock sl (listLock);
    checkItemIndexLocked();
    return links[(size_t) order[(size_t) itemIndex]];
}

void RSSNewsReader::advance()
{
    const juce::ScopedLock sl (listLock);
    ++itemIndex;
    checkItemIndexLocked();
}

int RSSNewsReader::numItems()
{
    const juce::ScopedLock sl (listLock);
    checkItemIndexLocked();
    return (int) order.size();
}
