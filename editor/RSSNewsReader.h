#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Fetches the maker's news feed once, on its own short-lived thread, and keeps the items'
// titles and links with a shuffled display order. Until a feed has been read it offers one
// built-in item, so there is always something to show.
//
// Whatever the server sends is untrusted: the body is capped, checked by the project's
// untrusted-document gate and read in one pass linear in its length, and every step (the
// transfer, the check, the reading) stops within a fraction of a millisecond once stop() is called.
class RSSNewsReader : public juce::Thread
{
public:
    // The address is fixed at construction: the framework's URL assignment copies an empty
    // block through a null pointer, so the reader never reassigns it.
    explicit RSSNewsReader (const juce::URL& address = {});

    // Stops the fetch and waits for the thread, which ends within moments of the request.
    ~RSSNewsReader() override;

    // Arms the one-shot fetch and starts the thread.
    void start();

    void run() override;

    // Asks the thread to end and cuts the request, the check or the reading short. Any thread.
    void stop();

    // Stops the reader and destroys it once its thread has ended, waiting at most
    // exitWaitLimitMs. A thread still running after that (a machine starved of CPU) cannot be
    // freed safely, so the reader is then left to end on its own rather than block the caller.
    static void release (std::unique_ptr<RSSNewsReader> reader);

    // Wraps itemIndex, installs the built-in item when there is none and keeps order a
    // permutation of all items. Safe to call from either thread.
    void checkItemIndex();

    // Message-thread helpers: each one validates the index first and reads under the lock.
    juce::String currentTitle();
    juce::String currentLink();
    void advance();
    int numItems();

    // Reads an RSS document into paired titles and links: the first title and the first web link
    // (made safe to open) of each item of the first channel. Returns false when the text is not
    // a sound RSS document with a channel, or when cancel is set, and then leaves the lists alone.
    static bool parseFeed (std::string_view bytes, std::vector<juce::String>& titlesOut,
                           std::vector<juce::String>& linksOut, const std::atomic<bool>* cancel = nullptr);
    static bool parseFeed (const juce::String& text, std::vector<juce::String>& titlesOut,
                           std::vector<juce::String>& linksOut);

    static constexpr const char* builtInLink = "https://kelvatone.invalid/";
    static constexpr const char* builtInTitle = "Ondula Delay Free by Kelvatone Audio";

    // Bounds on the request, so that a slow or silent server costs nothing but a dead fetch.
    static constexpr int connectTimeoutMs = 5000;
    static constexpr int transferTimeoutMs = 15000;
    static constexpr int maxFeedBytes = 1 << 20;
    static constexpr int maxRedirects = 5;

    // Bounds on what is kept: the strip shows about a hundred characters of one title every
    // twenty seconds, so longer titles and more items only cost memory and drawing time.
    static constexpr int maxTitleCharacters = 300;
    static constexpr int maxItems = 500;

    static constexpr int exitWaitLimitMs = 2000;

    // Guarded by listLock: written by the fetch thread (once) and by the message thread.
    int itemIndex = 0;
    std::vector<juce::String> links;
    std::vector<juce::String> titles;
    std::vector<int> order;
    juce::CriticalSection listLock;

    // Written by the owner before the thread starts and by the fetch thread; read by both.
    std::atomic<bool> fetchEnabled { true };
    std::atomic<bool> fetchStarted { false };

    // Written by the fetch thread only; read by others only after the thread has ended.
    // The text of the last fetch, when it was a readable document.
    juce::String feedText;
    juce::URL feedUrl;

private:
    void checkItemIndexLocked();
    std::string fetch();

    class Request;
    // The request in flight, so that stop() can cut it short. Guarded by requestLock.
    Request* activeRequest = nullptr;
    juce::CriticalSection requestLock;
    // Set by stop() on any thread; read by the fetch thread between and inside its steps.
    std::atomic<bool> stopRequested { false };
};
