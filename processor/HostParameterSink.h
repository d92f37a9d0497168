#pragma once

/** What the plug-in takes of a host's parameter changes straight from the VST3 client: every point
    of the block's queues with its sample offset, on the audio thread, before the block is
    processed, and the edits made through the edit controller. (The client itself then sets each
    parameter to its queue's last point without calling the parameter's listeners, and says so
    with hostParameterSet(); the plug-in writes the value into the tree later, on the message
    thread.)

    The client's build patch calls these; nothing else needs to. */
class HostParameterSink
{
public:
    virtual ~HostParameterSink() = default;

    /** Audio thread: a process call begins, its process context already in place (the play head
        reports the call's position and transport); the points of its parameter queues follow.
        `numSamples` is the call's length: 0 for a call that only flushes parameters. */
    virtual void hostCallBegins (int numSamples) noexcept = 0;

    /** Audio thread: one point of a parameter's queue, in the queue's order. The offset counts
        samples from the start of the coming block; the parameter still holds its value from
        before this queue. */
    virtual void hostParameterPoint (int parameterIndex, int sampleOffset, float normalisedValue) noexcept = 0;

    /** Audio thread: the client has set the parameter to its queue's last point (a new value)
        without calling any of its listeners, which may lock, allocate or post a message. The
        plug-in tells them on its message thread. */
    virtual void hostParameterSet (int parameterIndex) noexcept = 0;

    /** Any thread (the host's, calling the edit controller): a host edit made through the edit
        controller while the transport is stopped (the host's own parameter display). It sets the
        parameter there, not through the audio queues; the plug-in takes it at its next block.
        Called only when the value differs from the parameter's. */
    virtual void hostControllerEdit (int parameterIndex, float normalisedValue) noexcept = 0;
};
