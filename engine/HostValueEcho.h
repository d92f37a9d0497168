#pragma once

/** Tells the audio objects' tree listeners where a tree write comes from, on the thread that
    makes it.

    A host's parameter value reaches the audio objects on the audio thread, in the block the host
    sends it, and later reaches the tree too: the parameter attachment writes it back on the
    message thread, whenever that thread gets to it. Such an echo is no edit of the tree's own: the
    host may have sent newer values since, which must keep playing. */
class HostValueEcho
{
public:
    /** Held around the attachment's write-back of a parameter value into the tree. */
    class Scope
    {
    public:
        Scope() noexcept { ++echoDepth; }
        ~Scope() { --echoDepth; }
        Scope (const Scope&) = delete;
        Scope& operator= (const Scope&) = delete;
    };

    /** True while this thread writes an echo of a value the audio objects already have. */
    static bool isActive() noexcept { return echoDepth > 0; }

private:
    static inline thread_local int echoDepth = 0;
};
