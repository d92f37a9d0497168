#include "RSSNewsReader.h"

#include "../processor/UntrustedXml.h"
#include "LinkOpener.h"
#include "RedirectPolicy.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>

#if JUCE_USE_CURL
 #include <curl/curl.h>
 #include <netinet/in.h>
 #include <sys/socket.h>
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
        curl_easy_setopt (easy, CURLOPT_MAXREDIRS, (long) maxRedirects);
        curl_easy_setopt (easy, CURLOPT_MAXFILESIZE_LARGE, (curl_off_t) maxFeedBytes);
        curl_easy_setopt (easy, CURLOPT_OPENSOCKETFUNCTION, &Request::openSocket);
        curl_easy_setopt (easy, CURLOPT_OPENSOCKETDATA, this);
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

    std::string perform()
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

        return std::move (body);
    }

    // Called from another thread while perform() may be polling.
    void cancel()
    {
        cancelRequested = true;

        if (multi != nullptr)
            curl_multi_wakeup (multi);
    }

private:
    // Every connection, the first and those of redirects, passes the address policy before
    // anything is sent, so even a host name that resolves differently later is caught.
    static curl_socket_t openSocket (void* userData, curlsocktype purpose, curl_sockaddr* address)
    {
        auto& self = *static_cast<Request*> (userData);

        if (purpose != CURLSOCKTYPE_IPCXN || ! self.policy.allowConnection (scopeOf (*address)))
            return CURL_SOCKET_BAD;

        // Close-on-exec: a browser started from the editor must not inherit the connection.
        return ::socket (address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    }

    static RedirectPolicy::Scope scopeOf (const curl_sockaddr& address)
    {
        // The address is longer than the sockaddr member that starts it, so it is copied out.
        sockaddr_storage storage {};
        std::memcpy (&storage, &address.addr, std::min ((size_t) address.addrlen, sizeof (storage)));

        if (address.family == AF_INET && address.addrlen >= sizeof (sockaddr_in))
            return RedirectPolicy::scopeOf (reinterpret_cast<const juce::uint8*> (&reinterpret_cast<const sockaddr_in&> (storage).sin_addr), 4);

        if (address.family == AF_INET6 && address.addrlen >= sizeof (sockaddr_in6))
            return RedirectPolicy::scopeOf (reinterpret_cast<const juce::uint8*> (&reinterpret_cast<const sockaddr_in6&> (storage).sin6_addr), 16);

        return RedirectPolicy::Scope::reserved;
    }

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
    RedirectPolicy policy;
    // Written by cancel() on the message thread, read by the fetch thread.
    std::atomic<bool> cancelRequested { false };
};
#else
class RSSNewsReader::Request
{
public:
    explicit Request (const juce::URL& url) : stream (url, false)
    {
        stream.withConnectionTimeout (connectTimeoutMs).withNumRedirectsToFollow (maxRedirects);
    }

    std::string perform()
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

        return cancelRequested.load() ? std::string() : std::string (static_cast<const char*> (body.getData()), body.getDataSize());
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
    // Every step of run() looks at the stop request, so this wait is short; an owner that must
    // never block uses release() instead. The thread must not outlive the fields it writes.
    stop();
    waitForThreadToExit (-1);
}

void RSSNewsReader::start()
{
    fetchEnabled = true;
    fetchStarted = false;
    startThread (juce::Thread::Priority::normal);
}

void RSSNewsReader::stop()
{
    stopRequested = true;
    signalThreadShouldExit();

    const juce::ScopedLock sl (requestLock);

    if (activeRequest != nullptr)
        activeRequest->cancel();
}

void RSSNewsReader::release (std::unique_ptr<RSSNewsReader> reader)
{
    if (reader == nullptr)
        return;

    reader->stop();

    if (! reader->waitForThreadToExit (exitWaitLimitMs))
        (void) reader.release(); // ends on its own; its memory stays valid for it
}

void RSSNewsReader::run()
{
    if (! fetchEnabled.load() || fetchStarted.load())
    {
        signalThreadShouldExit();
        return;
    }

    fetchStarted = true;
    const auto body = fetch();
    fetchEnabled = false;

    std::vector<juce::String> newTitles, newLinks;

    if (parseFeed (body, newTitles, newLinks, &stopRequested))
    {
        // The check has found the body to be valid UTF-8.
        feedText = juce::String::fromUTF8 (body.data(), (int) body.size());

        // Swapped in whole under the lock, so the strip never sees a list half built.
        const juce::ScopedLock sl (listLock);
        titles.swap (newTitles);
        links.swap (newLinks);
        checkItemIndexLocked();
    }

    signalThreadShouldExit();
}

std::string RSSNewsReader::fetch()
{
    if (feedUrl.isLocalFile())
    {
        const auto file = feedUrl.getLocalFile();
        juce::MemoryBlock data;

        if (file.getSize() > maxFeedBytes || ! file.loadFileAsData (data))
            return {};

        return std::string (static_cast<const char*> (data.getData()), data.getSize());
    }

    Request request (feedUrl);

    {
        const juce::ScopedLock sl (requestLock);

        if (stopRequested.load())
            return {};

        activeRequest = &request;
    }

    auto body = request.perform();

    const juce::ScopedLock sl (requestLock);
    activeRequest = nullptr;
    return body;
}

namespace
{
    bool equalsIgnoreCase (std::string_view name, std::string_view expected)
    {
        return name.size() == expected.size()
            && std::equal (name.begin(), name.end(), expected.begin(),
                           [] (char a, char b) { return (a >= 'A' && a <= 'Z' ? a + ('a' - 'A') : a) == b; });
    }

    // Appends as much of the text as fits under the limit, cut at a character boundary.
    void appendBounded (std::string& out, std::string_view text, size_t limit)
    {
        if (out.size() >= limit)
            return;

        if (text.size() > limit - out.size())
        {
            auto cut = limit - out.size();

            while (cut > 0 && ((unsigned char) text[cut] & 0xc0) == 0x80)
                --cut;

            text = text.substr (0, cut);
        }

        out.append (text);
    }

    // Feed text may carry line breaks, tabs and other control characters; the strip shows one line.
    juce::String displayTitle (const std::string& bytes)
    {
        auto title = juce::String::fromUTF8 (bytes.data(), (int) bytes.size());
        juce::String line;
        line.preallocateBytes (bytes.size());

        for (auto c : title)
            line << ((c < 0x20 || (c >= 0x7f && c < 0xa0)) ? juce::juce_wchar (' ') : c);

        return line.trim().substring (0, RSSNewsReader::maxTitleCharacters).trimEnd();
    }

    // Follows the document's events and keeps the items of its first channel. Only the text of
    // a title or link is collected, and no more of it than can ever be kept.
    class FeedItems : public UntrustedXml::Reader
    {
    public:
        void startElement (std::string_view name) override
        {
            ++depth;

            if (depth == 1)
            {
                isRss = equalsIgnoreCase (name, "rss");
            }
            else if (depth == 2 && isRss && ! hasChannel && equalsIgnoreCase (name, "channel"))
            {
                hasChannel = inChannel = true;
            }
            else if (depth == 3 && inChannel && equalsIgnoreCase (name, "item"))
            {
                inItem = true;
                hasTitle = hasLink = false;
                title.clear();
                link.clear();
            }
            else if (depth == 4 && inItem && ! hasTitle && equalsIgnoreCase (name, "title"))
            {
                field = &title;
                hasTitle = true;
            }
            else if (depth == 4 && inItem && ! hasLink && equalsIgnoreCase (name, "link"))
            {
                field = &link;
                hasLink = true;
            }
        }

        void endElement() override
        {
            if (depth == 4)
                field = nullptr;
            else if (depth == 3 && inItem)
                finishItem();
            else if (depth == 2)
                inChannel = false;

            --depth;
        }

        void characters (std::string_view text) override
        {
            if (field == &title)
            {
                if (title.empty()) // leading blanks would only use up the room
                    text.remove_prefix (std::min (text.find_first_not_of (" \t\r\n"), text.size()));

                appendBounded (title, text, titleByteLimit);
            }
            else if (field == &link)
            {
                appendBounded (link, text, (size_t) LinkOpener::maximumLinkBytes + 1);
            }
        }

        bool isRss = false;
        bool hasChannel = false;
        std::vector<juce::String> titles, links;

    private:
        // Items are taken as pairs: the first title and the first link of each item, and an item
        // missing either, or whose link is no safe web link, is skipped, so that a title never
        // points at another item's link.
        void finishItem()
        {
            inItem = false;

            if (! hasTitle || ! hasLink || (int) titles.size() >= RSSNewsReader::maxItems
                || link.size() > (size_t) LinkOpener::maximumLinkBytes)
                return;

            const auto safeLink = LinkOpener::safeWebLink (juce::String::fromUTF8 (link.data(), (int) link.size()));

            if (safeLink.isNotEmpty())
            {
                titles.push_back (displayTitle (title));
                links.push_back (safeLink);
            }
        }

        // Four bytes per character at most, with room for control characters that become blanks.
        static constexpr size_t titleByteLimit = (size_t) RSSNewsReader::maxTitleCharacters * 4 + 64;

        int depth = 0;
        bool inChannel = false, inItem = false, hasTitle = false, hasLink = false;
        std::string title, link;
        std::string* field = nullptr;
    };

    UntrustedXml::Limits feedLimits()
    {
        UntrustedXml::Limits limits;
        // A channel's item fields sit at depth four; extensions nest a few levels more.
        limits.maximumDepth = 32;
        // A large feed of 500 items with a dozen fields each.
        limits.maximumElements = 1 << 16;
        // RSS and its common extensions use well under a hundred names.
        limits.maximumDistinctNames = 256;
        return limits;
    }
}

bool RSSNewsReader::parseFeed (std::string_view bytes, std::vector<juce::String>& titlesOut,
                               std::vector<juce::String>& linksOut, const std::atomic<bool>* cancel)
{
    if (bytes.size() > (size_t) maxFeedBytes)
        return false;

    FeedItems feed;

    if (! UntrustedXml::check (bytes, feedLimits(), cancel, &feed) || ! feed.isRss || ! feed.hasChannel)
        return false;

    titlesOut = std::move (feed.titles);
    linksOut = std::move (feed.links);
    return true;
}

bool RSSNewsReader::parseFeed (const juce::String& text, std::vector<juce::String>& titlesOut,
                               std::vector<juce::String>& linksOut)
{
    return parseFeed (std::string_view (text.toRawUTF8(), text.getNumBytesAsUTF8()), titlesOut, linksOut);
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
