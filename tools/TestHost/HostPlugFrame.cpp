#include "HostPlugFrame.h"

#include <algorithm>
#include <map>

using namespace Steinberg;

struct HostPlugFrame::TimerCall final : private juce::Timer
{
    TimerCall (HostPlugFrame& frameToUse, Linux::ITimerHandler* handlerToCall, int milliseconds)
        : frame (frameToUse), handler (handlerToCall)
    {
        startTimer (milliseconds);
    }

    ~TimerCall() override { stopTimer(); }

    void stop() { stopTimer(); }

    void timerCallback() override
    {
        if (! frame.takenBack)
            handler->onTimer();
    }

    HostPlugFrame& frame;
    Linux::ITimerHandler* const handler;
};

namespace
{
/** The frames that hold each descriptor, in the order they registered it. */
std::map<int, std::vector<HostPlugFrame*>>& descriptorHolders()
{
    static std::map<int, std::vector<HostPlugFrame*>> holders;
    return holders;
}
} // namespace

HostPlugFrame::HostPlugFrame (bool withRunLoopToOffer) : withRunLoop (withRunLoopToOffer) {}

HostPlugFrame::~HostPlugFrame()
{
    takeBack();
}

void HostPlugFrame::takeBack()
{
    if (takenBack.exchange (true))
        return;

    // What it holds stays recorded, for the test to see, but is served no more.
    for (const auto& [handler, fd] : handlers)
        unshare (fd, *this);

    for (auto& timer : timers)
        timer->stop();
}

int HostPlugFrame::getRegistrations() const
{
    return (int) (handlers.size() + timers.size());
}

bool HostPlugFrame::serving()
{
    if (! takenBack)
        return true;

    ++callsAfterTakenBack;
    return false;
}

tresult PLUGIN_API HostPlugFrame::resizeView (IPlugView* view, ViewRect* newSize)
{
    if (! serving())
        return kResultFalse;

    if (view == nullptr || newSize == nullptr)
        return kInvalidArgument;

    sizesAsked.push_back (*newSize);

    // A host resizes its window and then tells the view, which may ask again from inside onSize.
    if (! inResize)
    {
        const juce::ScopedValueSetter<bool> resizing (inResize, true);
        auto size = *newSize;
        view->onSize (&size);
    }

    return kResultTrue;
}

tresult PLUGIN_API HostPlugFrame::registerEventHandler (Linux::IEventHandler* handler, Linux::FileDescriptor fd)
{
    const auto live = serving();

    if (handler == nullptr)
        return kInvalidArgument;

    if (live && ! holdsDescriptor (fd))
        share (fd, *this);

    handlers.emplace_back (handler, fd);
    return kResultTrue;
}

tresult PLUGIN_API HostPlugFrame::unregisterEventHandler (Linux::IEventHandler* handler)
{
    const auto live = serving();

    if (handler == nullptr)
        return kInvalidArgument;

    std::vector<int> released;

    handlers.erase (std::remove_if (handlers.begin(), handlers.end(), [&] (const auto& registration)
    {
        if (registration.first != handler)
            return false;

        released.push_back (registration.second);
        return true;
    }), handlers.end());

    if (live)
        for (const auto fd : released)
            if (! holdsDescriptor (fd))
                unshare (fd, *this);

    return kResultTrue;
}

tresult PLUGIN_API HostPlugFrame::registerTimer (Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds)
{
    const auto live = serving();

    if (handler == nullptr || milliseconds <= 0)
        return kInvalidArgument;

    timers.push_back (std::make_unique<TimerCall> (*this, handler, (int) juce::jmin<Linux::TimerInterval> (milliseconds, 1 << 30)));

    if (! live)
        timers.back()->stop();

    return kResultTrue;
}

tresult PLUGIN_API HostPlugFrame::unregisterTimer (Linux::ITimerHandler* handler)
{
    serving();
    const auto found = std::find_if (timers.begin(), timers.end(), [handler] (const auto& timer) { return timer->handler == handler; });

    if (found == timers.end())
        return kInvalidArgument;

    timers.erase (found);
    return kResultTrue;
}

tresult PLUGIN_API HostPlugFrame::queryInterface (const TUID iid, void** object)
{
    serving();

    if (object == nullptr)
        return kInvalidArgument;

    *object = nullptr;

    if (FUnknownPrivate::iidEqual (iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
        *object = static_cast<IPlugFrame*> (this);
    else if (withRunLoop && FUnknownPrivate::iidEqual (iid, Linux::IRunLoop::iid))
        *object = static_cast<Linux::IRunLoop*> (this);
    else
        return kNoInterface;

    ++references;
    return kResultOk;
}

uint32 PLUGIN_API HostPlugFrame::addRef()
{
    serving();
    return (uint32) ++references;
}

uint32 PLUGIN_API HostPlugFrame::release()
{
    serving();
    return (uint32) --references;
}

bool HostPlugFrame::holdsDescriptor (int fd) const
{
    return std::any_of (handlers.begin(), handlers.end(), [fd] (const auto& registration) { return registration.second == fd; });
}

void HostPlugFrame::serve (int fd)
{
    // A handler may unregister itself or others while it runs: each is called while still held.
    const auto held = handlers;

    for (const auto& registration : held)
    {
        if (takenBack)
            return;

        if (registration.second == fd && std::find (handlers.begin(), handlers.end(), registration) != handlers.end())
            registration.first->onFDIsSet (fd);
    }
}

void HostPlugFrame::share (int fd, HostPlugFrame& frame)
{
    auto& holders = descriptorHolders()[fd];
    holders.push_back (&frame);

    if (holders.size() > 1)
        return;

   #if JUCE_LINUX || JUCE_BSD
    juce::LinuxEventLoop::registerFdCallback (fd, [] (int readyFd)
    {
        const auto stillHolds = [readyFd] (HostPlugFrame* holder)
        {
            const auto it = descriptorHolders().find (readyFd);
            return it != descriptorHolders().end() && std::find (it->second.begin(), it->second.end(), holder) != it->second.end();
        };

        const auto it = descriptorHolders().find (readyFd);

        for (auto* holder : it == descriptorHolders().end() ? std::vector<HostPlugFrame*>() : it->second)
            if (stillHolds (holder))
                holder->serve (readyFd);
    });
   #endif
}

void HostPlugFrame::unshare (int fd, HostPlugFrame& frame)
{
    const auto it = descriptorHolders().find (fd);

    if (it == descriptorHolders().end() || std::find (it->second.begin(), it->second.end(), &frame) == it->second.end())
        return;

    auto& holders = it->second;
    holders.erase (std::remove (holders.begin(), holders.end(), &frame), holders.end());

    if (! holders.empty())
        return;

    descriptorHolders().erase (fd);

   #if JUCE_LINUX || JUCE_BSD
    juce::LinuxEventLoop::unregisterFdCallback (fd);
   #endif
}
