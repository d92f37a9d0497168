#pragma once

#include <atomic>
#include <cstdint>

/** One setting that both the state tree and the host's automation set, as an audio object keeps
    it: the last of the two plays.

    The tree side runs where the tree changes (the message thread): a value the tree did not hold
    before is an edit of the tree's own and plays, unless the tree only echoes a host value (the
    parameter attachment's write-back, see HostValueEcho), which the audio thread has already taken
    from the host or will take at its own time. Re-announcements of unchanged values change nothing;
    a loaded state makes the tree's value an edit again (takeTreeAsEdit). The host side runs on the
    audio thread: a host value plays until the tree makes an edit of its own after it.

    Each side is one atomic word, a value with the count of tree edits it belongs to, so that no
    thread ever sees a value apart from its count, on any processor. */
class TreeOrHostValue
{
public:
    TreeOrHostValue() noexcept = default;
    explicit TreeOrHostValue (float initial) noexcept : tree (pack (0, initial)), held (initial) {}

    TreeOrHostValue (const TreeOrHostValue&) = delete;
    TreeOrHostValue& operator= (const TreeOrHostValue&) = delete;

    /** Message thread: the value the tree holds now. */
    void takeFromTree (float value) noexcept;

    /** Message thread: what the tree holds becomes an edit of its own again, even where it did not
        change (a loaded state or preset): a host value standing from before gives way. */
    void takeTreeAsEdit() noexcept { store (held); }

    /** Audio thread: a value the host sent. */
    void takeFromHost (float value) noexcept;

    /** Audio thread: the value that plays. */
    float played() noexcept;

    /** Any thread: the value that plays from the audio thread's next reading on, host values
        included (for displays). */
    float playedNow() const noexcept;

    /** Any thread: the value the tree's own edits left, which plays when no host value stands. */
    float load() const noexcept { return valueOf (tree.load (std::memory_order_acquire)); }

    /** Sets the tree's value as an edit of its own, outside the tree (before audio runs). */
    void store (float value) noexcept;
    TreeOrHostValue& operator= (float value) noexcept
    {
        store (value);
        return *this;
    }

private:
    static uint64_t pack (uint32_t count, float value) noexcept;
    static float valueOf (uint64_t word) noexcept;
    static uint32_t countOf (uint64_t word) noexcept { return (uint32_t) (word >> 32); }

    // Written on the tree's thread, read by the audio thread and displays: the tree's own last edit
    // with the count of those edits. Release/acquire: a reader that sees a count sees its value.
    std::atomic<uint64_t> tree { 0 };
    float held = 0.0f; // tree's thread: what the tree last held, its echoes included

    // Written by the audio thread, read by displays: the standing host value with the count of tree
    // edits it stands against, or no value (a NaN: host values are always finite). Release/acquire
    // as for `tree`.
    static constexpr uint64_t noHostValue = 0x7fc00000u;
    std::atomic<uint64_t> hostShown { noHostValue };

    // Audio thread only: the host's value and the count of tree edits it stands against.
    float host = 0.0f;
    uint32_t hostEdits = 0;
    bool hostSet = false;
};
