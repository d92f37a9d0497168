#pragma once

#include <juce_events/juce_events.h>

#include <pluginterfaces/gui/iplugview.h>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

/** The host's side of an editor view as the VST3 SDK's own editor host makes it: one object that
    is the view's IPlugFrame and, asked for it, the Linux IRunLoop through which the plug-in has
    the host serve the file descriptors and timers of its GUI. The test host's message loop serves
    the descriptors and its timers the timers, on the host's thread. A frame answers resizeView as
    a host does, by telling the view its new size (onSize).

    It keeps what a test asks about: the registrations it holds, its reference count (starting at
    1, the host's own reference), the sizes resizeView asked for, and calls that come after the
    host took it back (takeBack()). A real host would have destroyed it by then; this one only
    counts such calls and serves nothing more, and never deletes itself, so that a plug-in that
    kept it calls counted memory rather than freed memory. */
class HostPlugFrame final : public Steinberg::IPlugFrame,
                            public Steinberg::Linux::IRunLoop
{
public:
    /** withRunLoop false: a frame that offers no IRunLoop, as some hosts' frames do. */
    explicit HostPlugFrame (bool withRunLoop = true);
    ~HostPlugFrame();

    /** The host has let the view go (setFrame (nullptr) returned, or the view was released). */
    void takeBack();
    bool isTakenBack() const { return takenBack; }

    /** Descriptor registrations and timers the frame holds now. */
    int getRegistrations() const;

    /** The count of references beyond the host's own. */
    int getReferencesBeyondHost() const { return references - 1; }

    int getCallsAfterTakenBack() const { return callsAfterTakenBack; }
    const std::vector<Steinberg::ViewRect>& getSizesAsked() const { return sizesAsked; }

    // IPlugFrame
    Steinberg::tresult PLUGIN_API resizeView (Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

    // IRunLoop
    Steinberg::tresult PLUGIN_API registerEventHandler (Steinberg::Linux::IEventHandler* handler, Steinberg::Linux::FileDescriptor fd) override;
    Steinberg::tresult PLUGIN_API unregisterEventHandler (Steinberg::Linux::IEventHandler* handler) override;
    Steinberg::tresult PLUGIN_API registerTimer (Steinberg::Linux::ITimerHandler* handler, Steinberg::Linux::TimerInterval milliseconds) override;
    Steinberg::tresult PLUGIN_API unregisterTimer (Steinberg::Linux::ITimerHandler* handler) override;

    // FUnknown
    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

    JUCE_DECLARE_NON_COPYABLE (HostPlugFrame)

private:
    struct TimerCall;

    /** Counts a call made after the frame was taken back; true when the frame still serves. */
    bool serving();

    bool holdsDescriptor (int fd) const;
    void serve (int fd);

    // The test host's loop takes one callback per descriptor, so the frames that hold the same
    // one (the plug-in's descriptors are shared by all its views) share its callback.
    static void share (int fd, HostPlugFrame& frame);
    static void unshare (int fd, HostPlugFrame& frame);

    const bool withRunLoop;
    bool inResize = false;
    // The plug-in may call from a thread of its own (its message thread); the test reads them at the end.
    std::atomic<bool> takenBack { false };
    std::atomic<int> references { 1 }, callsAfterTakenBack { 0 };
    std::vector<std::pair<Steinberg::Linux::IEventHandler*, int>> handlers;
    std::vector<std::unique_ptr<TimerCall>> timers;
    std::vector<Steinberg::ViewRect> sizesAsked;
};
