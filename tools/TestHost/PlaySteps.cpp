#include "PlaySteps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
bool readCount (const juce::String& text, juce::int64& result)
{
    if (text.isEmpty() || ! text.containsOnly ("0123456789") || text.length() > 15)
        return false;

    result = text.getLargeIntValue();
    return true;
}

/** A timeline position or a sample count that may be negative. */
bool readSigned (const juce::String& text, juce::int64& result)
{
    const auto digits = text.startsWithChar ('-') ? text.substring (1) : text;

    if (! readCount (digits, result))
        return false;

    result = text.startsWithChar ('-') ? -result : result;
    return true;
}

bool readValue (const juce::String& text, double& result)
{
    if (text.isEmpty() || ! text.containsOnly ("0123456789.-+eE"))
        return false;

    result = text.getDoubleValue();
    return true;
}

bool readBlocks (juce::String text, PlaySteps::BlockSizes& result)
{
    result.lastRepeats = text.endsWith ("...");

    if (result.lastRepeats)
        text = text.dropLastCharacters (3);

    for (const auto& token : juce::StringArray::fromTokens (text, ",", {}))
    {
        juce::int64 size = 0;

        if (! readCount (token.trim(), size) || size < 1 || size > (1 << 20))
            return false;

        result.sizes.push_back ((int) size);
    }

    return ! result.sizes.empty();
}
} // namespace

int PlaySteps::BlockSizes::size (size_t call) const
{
    if (lastRepeats)
        return sizes[std::min (call, sizes.size() - 1)];

    return sizes[call % sizes.size()];
}

bool PlaySteps::parse (const juce::String& text, juce::String& error)
{
    juce::StringArray lines;

    for (const auto& line : juce::StringArray::fromLines (text))
        lines.addTokens (line.upToFirstOccurrenceOf ("#", false, false), ";", {});

    for (const auto& line : lines)
    {
        const auto words = juce::StringArray::fromTokens (line.trim(), " \t", {});

        if (words.isEmpty())
            continue;

        const auto& command = words[0];
        const auto count = [&] (int i, juce::int64& v) { return readCount (words[i], v); };
        const auto position = [&] (int i, juce::int64& v) { return readSigned (words[i], v); };
        const auto number = [&] (int i, double& v) { return readValue (words[i], v); };
        Step step;
        bool ok = false, isStep = true;

        if (command == "idle" && words.size() == 4)
        {
            juce::int64 block = 0;
            step.kind = Step::Kind::idle;
            ok = count (1, step.calls) && count (2, block) && block >= 1 && position (3, step.position);
            step.blocks.sizes = { (int) block };
        }
        else if (command == "preroll" && words.size() == 3)
        {
            step.kind = Step::Kind::preroll;
            ok = count (1, step.samples) && step.samples >= 1 && position (2, step.position);
        }
        else if (command == "play" && words.size() == 4)
        {
            step.kind = Step::Kind::play;
            ok = position (1, step.position) && count (2, step.samples) && readBlocks (words[3], step.blocks);
        }
        else if (command == "speed" && words.size() == 5)
        {
            step.kind = Step::Kind::speed;
            ok = position (1, step.position) && count (2, step.samples) && readBlocks (words[3], step.blocks)
              && number (4, step.value) && std::abs (step.value) <= 1000.0;
        }
        else if (command == "call" && words.size() == 3)
        {
            step.kind = Step::Kind::call;
            ok = position (1, step.samples) && step.samples >= std::numeric_limits<int>::min()
              && step.samples <= std::numeric_limits<int>::max() && position (2, step.position);
        }
        else if (command == "call64" && words.size() == 3)
        {
            step.kind = Step::Kind::call64;
            ok = count (1, step.samples) && step.samples >= 1 && step.samples <= (1 << 20) && position (2, step.position);
        }
        else if (command == "ramp-queue" && words.size() == 5)
        {
            step.kind = Step::Kind::rampQueue;
            step.parameter = words[1];
            ok = count (2, step.claimed) && step.claimed >= 1 && step.claimed <= std::numeric_limits<int>::max()
              && number (3, step.value) && number (4, step.lastValue);
        }
        else if (command == "queues" && words.size() == 3 && (words[2] == "null" || words[2] == "same"))
        {
            step.kind = Step::Kind::queues;
            step.repeatLast = words[2] == "same";
            ok = count (1, step.claimed) && step.claimed <= std::numeric_limits<int>::max();
        }
        else if (command == "queue" && words.size() >= 3 && words.size() % 2 == 1)
        {
            step.kind = Step::Kind::queue;
            step.parameter = words[1];
            ok = count (2, step.claimed) && step.claimed <= std::numeric_limits<int>::max();

            for (int i = 3; ok && i < words.size(); i += 2)
            {
                juce::int64 offset = 0;
                double value = 0.0;
                ok = position (i, offset) && std::abs (offset) <= std::numeric_limits<int>::max() && number (i + 1, value);
                step.queuePoints.push_back ({ (int) offset, value });
            }
        }
        else if (command == "reactivate" && words.size() <= 3)
        {
            step.kind = Step::Kind::reactivate;
            ok = true;

            for (int i = 1; ok && i < words.size(); ++i)
            {
                if (words[i] == "offline" || words[i] == "realtime")
                    step.mode = words[i] == "offline" ? Step::Mode::offline : Step::Mode::realtime;
                else
                    ok = i == 1 && number (i, step.value) && step.value >= 8000.0 && step.value <= 768000.0;
            }
        }
        else if ((command == "stopped" && (words.size() == 3 || words.size() == 4))
                 || (command == "noposition" && words.size() == 3))
        {
            step.kind = command == "stopped" ? Step::Kind::stopped : Step::Kind::noposition;
            ok = count (1, step.samples) && readBlocks (words[2], step.blocks)
              && (words.size() == 3 || position (3, step.position));
        }
        else if (command == "edit" && words.size() == 3)
        {
            step.kind = Step::Kind::edit;
            step.parameter = words[1];
            ok = number (2, step.value);
        }
        else if (command == "wait" && words.size() == 2)
        {
            juce::int64 ms = 0;
            step.kind = Step::Kind::wait;
            ok = count (1, ms) && ms <= 60000;
            step.milliseconds = (int) ms;
        }
        else if (command == "point" && words.size() == 4)
        {
            Point point {};
            ok = position (2, point.position) && number (3, point.value);

            if (ok)
                points[words[1]].push_back (point);

            isStep = false;
        }
        else if (command == "ramp" && words.size() == 7)
        {
            juce::int64 from = 0, to = 0, every = 0;
            double first = 0.0, last = 0.0;
            ok = position (2, from) && position (3, to) && to >= from && number (4, first) && number (5, last)
              && count (6, every) && every >= 1 && (to - from) / every < 10000000;

            for (auto position = from; ok && position <= to; position += every)
            {
                const auto amount = to == from ? 1.0 : (double) (position - from) / (double) (to - from);
                points[words[1]].push_back ({ position, first + (last - first) * amount });
            }

            isStep = false;
        }

        if (! ok)
        {
            error = "malformed step: " + line.trim();
            return false;
        }

        if (isStep)
            steps.push_back (step);
    }

    for (auto& [id, list] : points)
    {
        // Stable, so that of two points at one position the later one written is kept.
        std::stable_sort (list.begin(), list.end(), [] (const Point& a, const Point& b) { return a.position < b.position; });
        std::vector<Point> kept;

        for (const auto& point : list)
        {
            if (! kept.empty() && kept.back().position == point.position)
                kept.back() = point;
            else
                kept.push_back (point);
        }

        list = std::move (kept);
    }

    return true;
}

int PlaySteps::largestCall() const
{
    juce::int64 largest = 1;

    for (const auto& step : steps)
    {
        if (step.kind == Step::Kind::preroll || step.kind == Step::Kind::call64 || (step.kind == Step::Kind::call && step.samples <= (1 << 20)))
            largest = std::max (largest, step.samples);
        else
            for (const auto size : step.blocks.sizes)
                largest = std::max (largest, step.kind == Step::Kind::idle ? (juce::int64) size : std::min ((juce::int64) size, step.samples));
    }

    return (int) std::min (largest, (juce::int64) 1 << 20);
}

juce::int64 PlaySteps::recordedSamples() const
{
    juce::int64 total = 0;

    for (const auto& step : steps)
        if (step.isRecorded())
            total += step.samples;

    return total;
}
