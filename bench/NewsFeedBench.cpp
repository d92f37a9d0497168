// Does reading the news feed stay linear in the body, and does the console strip's drawing stay
// independent of the line's length?
//   ondula_bench --benchmark_filter='NewsFeed|ConsoleStrip'

#include "editor/CommandLineComponent.h"
#include "editor/RSSNewsReader.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace
{
// A sound feed of about the given size, made of many small items.
std::string feedOfKilobytes (size_t kilobytes)
{
    std::string feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>News</title>";

    for (int i = 0; feed.size() < kilobytes * 1024 - 200; ++i)
        feed += "<item><title>Item " + std::to_string (i) + " &amp; more</title><link>https://example.invalid/"
              + std::to_string (i) + "</link><description>Some words about it</description></item>";

    return feed + "</channel></rss>";
}

void NewsFeed_Read_Kilobytes (benchmark::State& state)
{
    const auto feed = feedOfKilobytes ((size_t) state.range (0));
    std::vector<juce::String> titles, links;

    for (auto _ : state)
        benchmark::DoNotOptimize (RSSNewsReader::parseFeed (std::string_view (feed), titles, links));

    state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) feed.size());
}

// The same body with one bad byte at its very end: the whole body is read and then refused.
void NewsFeed_RefusedAtTheLastByte_Kilobytes (benchmark::State& state)
{
    auto feed = feedOfKilobytes ((size_t) state.range (0));
    feed.back() = '\xf1';
    std::vector<juce::String> titles, links;

    for (auto _ : state)
        benchmark::DoNotOptimize (RSSNewsReader::parseFeed (std::string_view (feed), titles, links));

    state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) feed.size());
}

void ConsoleStrip_Paint_LineBytes (benchmark::State& state)
{
    CommandLineInterpreter console;
    CommandLineComponent strip (console, juce::URL (juce::File ("/nonexistent/feed.rss")));
    strip.stopTimer();
    strip.setSize (1350, 30);
    console.text.assign ((size_t) state.range (0), 'x');
    console.colours.assign ((size_t) state.range (0), '0');
    strip.timerCallback(); // takes the line

    juce::Image image (juce::Image::ARGB, 1350, 30, true);

    for (auto _ : state)
    {
        juce::Graphics g (image);
        strip.paint (g);
    }
}
} // namespace

BENCHMARK (NewsFeed_Read_Kilobytes)->Arg (256)->Arg (1024)->Unit (benchmark::kMillisecond);
BENCHMARK (NewsFeed_RefusedAtTheLastByte_Kilobytes)->Arg (256)->Arg (1024)->Unit (benchmark::kMillisecond);
BENCHMARK (ConsoleStrip_Paint_LineBytes)->Arg (200)->Arg (1 << 20)->Unit (benchmark::kMillisecond);
