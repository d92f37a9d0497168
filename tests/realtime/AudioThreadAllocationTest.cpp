// The audio thread never allocates: every allocation made while a thread has armed the counter is
// counted. A test binary of its own, since it replaces the global allocation functions.

#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <random>

namespace
{
thread_local bool counting = false;
thread_local int allocations = 0;

void* allocate (std::size_t size)
{
    if (counting)
        ++allocations;

    if (void* p = std::malloc (size > 0 ? size : 1))
        return p;

    throw std::bad_alloc();
}

void* allocateAligned (std::size_t size, std::align_val_t alignment)
{
    if (counting)
        ++allocations;

    const auto a = (std::size_t) alignment;

    if (void* p = std::aligned_alloc (a, (size + a - 1) / a * a))
        return p;

    throw std::bad_alloc();
}

/** Counts the allocations of this thread while it lives. */
struct AllocationCount
{
    AllocationCount() { allocations = 0; counting = true; }
    ~AllocationCount() { counting = false; }
    int operator()() const { return allocations; }
};

struct PlayingTransport : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setTimeInSamples (position);
        info.setTimeInSeconds ((double) position / 48000.0);
        info.setBpm (120.0);
        info.setIsPlaying (true);
        return info;
    }

    juce::int64 position = 0;
};
} // namespace

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocateAligned (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocateAligned (size, a); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    try { return allocateAligned (size, a); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    try { return allocateAligned (size, a); } catch (...) { return nullptr; }
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

TEST (AudioThread, ProcessingAllocatesNothingFromTheFirstBlockOn)
{
    // The first block included: whatever the engines set up lazily must be set up before.
    for (const double rate : { 48000.0, 384000.0 })
    {
        juce::ScopedJuceInitialiser_GUI framework;
        auto processor = std::make_unique<OndulaDelayAudioProcessor>();
        PlayingTransport transport;
        processor->setPlayHead (&transport);
        processor->prepareToPlay (rate, 8192);

        juce::AudioBuffer<float> buffer (2, 8192);
        juce::MidiBuffer midi;
        std::mt19937 random (3);
        std::uniform_real_distribution<float> noise (-0.5f, 0.5f);

        for (const int size : { 1, 512, 7, 8192, 333, 64 })
        {
            buffer.setSize (2, size, false, false, true);

            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < size; ++i)
                    buffer.setSample (c, i, noise (random));

            AllocationCount count;
            processor->processBlock (buffer, midi);
            transport.position += size;
            EXPECT_EQ (count(), 0) << rate << " Hz, block of " << size;
        }

        // A setting changed on the message thread between blocks: the next block takes it up
        // without allocating either.
        processor->stateTree.getChildWithName ("delay").getChildWithName ("delay_pattern")
            .setProperty ("pattern_l", "11111111111111111111111111111111", nullptr);

        AllocationCount count;
        processor->processBlock (buffer, midi);
        EXPECT_EQ (count(), 0) << rate << " Hz, after a setting changed";

        // The host's points inside blocks, the parameters set unheard, an edit through the
        // controller, and a relocation.
        processor->hostControllerEdit (27, 0.2f);

        for (int block = 0; block < 4; ++block)
        {
            AllocationCount withPoints;
            transport.position = block == 2 ? 1234567 : transport.position + buffer.getNumSamples();
            processor->hostCallBegins (buffer.getNumSamples());

            for (int k = 0; k < 40; ++k)
            {
                processor->hostParameterPoint (22, 7 * k, (float) k / 40.0f);
                processor->hostParameterPoint (23, 11 * k, (float) (k % 3) / 2.0f);
                processor->hostParameterPoint (0, 13 * k, 1.0f - (float) k / 40.0f);
            }

            // The client then sets the parameters unheard and tells the processor.
            for (const int index : { 22, 23, 0 })
                processor->hostParameterSet (index);

            processor->processBlock (buffer, midi);
            EXPECT_EQ (withPoints(), 0) << rate << " Hz, host points, block " << block;
        }

        processor->setPlayHead (nullptr);
    }
}
