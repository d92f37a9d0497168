#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <vector>

// Fetches the maker's news feed once, on its own short-lived thread, and keeps the items'
// titles and links with a shuffled display order. Until a feed has been read it offers one
// built-in item, so there is always something to show.
class RSSNewsReader : public juce::Thread
{
public:
    // The address is fixed at construction: the framework's URL assignment copies an empty
    // block through a null pointer, so the reader never reassigns it.
    explicit RSSNewsReader (const juce::URL& address = {});
    ~RSSNewsReader() override;

    // Arms the one-shot fetch and starts the thread.
    void start();

    void run() override;

    // Wraps itemIndex, installs the built-in item when there is none and keeps order a
    // permutation of all items. Safe to call from either thread.
    void checkItemIndex();

    // Message-thread helpers: each one validates the index first and reads under the lock.
    juce::String currentTitle();
    juce::String currentLink();
    void advance();
    int numItems();

    // Parses an RSS document into paired titles and links. Returns false when the text is not
    // an RSS document with a channel, in which case the lists are left untouched.
    static bool parseFeed (const juce::String& text, std::vector<juce::String>& titlesOut,
                           std::vector<juce::String>& linksOut);

    static constexpr const char* builtInLink = "https://kelvatone.invalid/";
    static constexpr const char* builtInTitle = "Ondula Delay Free by Kelvatone Audio";

    // Bounds on the request, so that a slow or silent server costs nothing but a dead fetch.
    static constexpr int connectTimeoutMs = 5000;
    static constexpr int transferTimeoutMs = 15000;
    static constexpr int maxFeedBytes = 1 << 20;

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
    juce::String feedText;
    juce::URL feedUrl;

private:
    void checkItemIndexLocked();
    juce::String fetch();

    class Request;
    // The request in flight, so that destruction can cut it short. Guarded by requestLock.
    Request* activeRequest = nullptr;
    bool cancelled = false;
    juce::CriticalSection requestLock;
};
