#pragma once

#include <atomic>
#include <cstdint>

/** One setting that both the state tree and the host's automation set, as an audio object keeps
    it: the last of the two plays.

    The tree side runs where the tree changes (the message thread): a value the tree did not hold
    before is an edit of the tree's own and plays, unless the tree only echoes a host value (the
    parameter attachment's write-back, see HostValueEcho), which the audio thread has already taken
    from the host or will take at its own time. Re-announcements of unchanged values change nothing.
    The host side runs on the audio thread: a host value plays until the tree makes an edit of its
    own after it. */
class TreeOrHostValue
{
public:
    TreeOrHostValue() noexcept = default;
    explicit TreeOrHostValue (float initial) noexcept : tree (initial), held (initial) {}

    TreeOrHostValue (const TreeOrHostValue&) = delete;
    TreeOrHostValue& operator= (const TreeOrHostValue&) = delete;

    /** Message thread: the value the tree holds now. */
    void takeFromTree (float value) noexcept;

    /** Audio thread: a value the host sent. */
    void takeFromHost (float value) noexcept;

    /** Audio thread: the value that plays. */
    float played() noexcept;

    /** Any thread: the value the tree's own edits left, which plays when no host value stands. */
    float load() const noexcept { return tree.load (std::memory_order_relaxed); }

    /** Sets the tree's value as an edit of its own, outside the tree (before audio runs). */
    void store (float value) noexcept;
    TreeOrHostValue& operator= (float value) noexcept
    {
        store (value);
        return *this;
    }

private:
    // Written on the tree's thread, read by the audio thread: the tree's own last edit and a
    // count of those edits.
    std::atomic<float> tree { 0.0f };
    std::atomic<uint32_t> edits { 0 };
    float held = 0.0f; // tree's thread: what the tree last held, its echoes included

    // Audio thread only: the host's value and the count of tree edits it stands against.
    float host = 0.0f;
    uint32_t hostEdits = 0;
    bool hostSet = false;
};
