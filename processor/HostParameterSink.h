#pragma once

#include "engine/HostValueEcho.h"

/** What the plug-in takes of a host's parameter changes straight from the VST3 client: every point
    of the block's queues with its sample offset, on the audio thread, before the block is
    processed. (The client itself then sets each parameter to its queue's last point, whose
    attachment writes it into the tree later, on the message thread.)

    The client's build patch calls these; nothing else needs to. */
class HostParameterSink
{
public:
    virtual ~HostParameterSink() = default;

    /** Audio thread: a process call's parameter changes begin; its points follow. */
    virtual void hostParameterChangesBegin() noexcept = 0;

    /** Audio thread: one point of a parameter's queue, in the queue's order. The offset counts
        samples from the start of the coming block; the parameter still holds its value from
        before this queue. */
    virtual void hostParameterPoint (int parameterIndex, int sampleOffset, float normalisedValue) noexcept = 0;

    /** Held by the client around a host edit that arrives through the edit controller (the
        host's own parameter display, message thread): it reaches the parameter there and never
        passes the audio thread, so the tree write it causes is an edit like any other. */
    using ControllerEdit = HostValueEcho::ControllerEdit;
};
