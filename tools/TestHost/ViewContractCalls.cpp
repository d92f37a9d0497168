#include "ViewContractCalls.h"

#include "CallAnswers.h"
#include "TestHost.h"
#include "Vst3Instance.h"
#include "Vst3Module.h"

#include <pluginterfaces/gui/iplugviewcontentscalesupport.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace
{
using namespace Steinberg;

constexpr auto int32Max = std::numeric_limits<int32>::max();
constexpr auto int32Min = std::numeric_limits<int32>::min();

// An empty window is one colour and the root's pattern two; the editor's text and graphs on
// its dark background are many more.
constexpr int drawnColours = 16;

// An editor served by the host's loop paints within a few hundred milliseconds; a busy machine
// and the sanitizer build may take several times as long, so the screen is looked at until then.
constexpr int paintCheckMs = 100, paintLimitMs = 3000;

const juce::Rectangle<int> firstPlace { 0, 0, 1350, 660 }, secondPlace { 0, 700, 1350, 660 };

juce::String sizeText (const ViewRect& rect)
{
    return juce::String ((juce::int64) rect.right - rect.left) + "x" + juce::String ((juce::int64) rect.bottom - rect.top);
}

juce::int64 residentMB()
{
    const auto pages = juce::StringArray::fromTokens (juce::File ("/proc/self/statm").loadFileAsString(), false)[1].getLargeIntValue();
    return pages * (juce::int64) ::sysconf (_SC_PAGESIZE) / (1024 * 1024);
}

/** Aborts the process when a case runs for longer than a minute, saying which, so that a hang
    fails at once rather than at the test's time-out. */
class Watchdog
{
public:
    Watchdog() : thread ([this] { watch(); }) {}

    ~Watchdog()
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            stop = true;
        }

        wake.notify_all();
        thread.join();
    }

    void start (const juce::String& name)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        current = name;
        started = std::chrono::steady_clock::now();
    }

    void finish()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        current.clear();
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock (mutex);

        while (! stop)
        {
            wake.wait_for (lock, std::chrono::milliseconds (250));

            if (current.isNotEmpty() && std::chrono::steady_clock::now() - started > std::chrono::seconds (60))
            {
                TestHost::print ("view.hung=" + current);
                std::abort();
            }
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    juce::String current;
    std::chrono::steady_clock::time_point started;
    bool stop = false;
    std::thread thread; // last, so that it starts once the rest exists
};

class Battery
{
public:
    using Case = void (Battery::*)();

    Battery (const Vst3Module& moduleToUse, XParentWindows& windowsToUse, std::vector<std::unique_ptr<HostPlugFrame>>& framesToKeep)
        : module (moduleToUse), controller (moduleToUse.getController()), windows (windowsToUse), frames (framesToKeep)
    {
    }

    static const std::vector<std::pair<const char*, Case>>& cases()
    {
        static const std::vector<std::pair<const char*, Case>> all {
            { "sdkClose", &Battery::sdkClose },
            { "removedFirst", &Battery::removedFirst },
            { "twoInstances", &Battery::twoInstances },
            { "twoViews", &Battery::twoViews },
            { "scale", &Battery::scale },
            { "onSize", &Battery::onSize },
            { "sizeConstraint", &Battery::sizeConstraint },
            { "attachedTwice", &Battery::attachedTwice },
            { "afterTerminate", &Battery::afterTerminate },
            { "noRunLoop", &Battery::noRunLoop },
            { "sharedFrame", &Battery::sharedFrame },
        };

        return all;
    }

    void run (const juce::String& onlyCase)
    {
        for (const auto& [name, method] : cases())
        {
            if (onlyCase.isNotEmpty() && onlyCase != name)
                continue;

            caseName = name;
            watchdog.start (name);
            TestHost::pumpMessages (100);
            (this->*method)();
            endCase();
            watchdog.finish();
        }

        int lateCalls = 0;

        for (const auto& record : records)
            lateCalls += record.frame->getCallsAfterTakenBack() - record.callsAtCaseEnd;

        TestHost::print ("view.lateFrameCalls=" + juce::String (lateCalls));
        TestHost::print ("view.xErrors=" + juce::String (XParentWindows::getErrors()));
        TestHost::print ("view.thrown=" + juce::String (answers.getThrown()));
    }

private:
    struct FrameRecord
    {
        HostPlugFrame* frame;
        juce::String label;
        int callsAtCaseEnd = 0;
    };

    //==============================================================================
    void sdkClose()
    {
        auto& frame = newFrame ("");
        const auto window = newWindow (firstPlace);
        auto* view = openView (controller, frame, window, "");

        if (view != nullptr)
            closeInSdkOrder (view, frame, "");
    }

    void removedFirst()
    {
        auto& frame = newFrame ("");
        const auto window = newWindow (firstPlace);
        auto* view = openView (controller, frame, window, "");

        if (view == nullptr)
            return;

        call ("close.removed", [&] { return view->removed(); });
        call ("close.setFrame", [&] { return view->setFrame (nullptr); });
        frame.takeBack();
        release (view);
    }

    void twoInstances()
    {
        const Vst3Instance second (module.getFactory(), module.getHostContext());

        if (! second.isOpen())
        {
            print ("secondInstance", second.getError().quoted());
            return;
        }

        auto& firstFrame = newFrame ("first.");
        auto& secondFrame = newFrame ("second.");
        const auto firstWindow = newWindow (firstPlace), secondWindow = newWindow (secondPlace);
        auto* firstView = openView (controller, firstFrame, firstWindow, "first.");
        auto* secondView = openView (second.getController(), secondFrame, secondWindow, "second.");

        if (firstView != nullptr)
            closeInSdkOrder (firstView, firstFrame, "first.");

        if (secondView == nullptr)
            return;

        TestHost::pumpMessages (100);
        printFlag ("secondRedraws", redraws (secondWindow));
        // The descriptors of the plug-in's GUI are all served by the frame still open.
        print ("second.registrationsWhileOpen", juce::String (secondFrame.getRegistrations()));
        print ("first.registrationsWhileSecondOpen", juce::String (firstFrame.getRegistrations()));
        closeInSdkOrder (secondView, secondFrame, "second.");
    }

    /** A host with one frame, and so one run loop, for the windows of two instances: closing
        one editor leaves the other one served. */
    void sharedFrame()
    {
        const Vst3Instance second (module.getFactory(), module.getHostContext());

        if (! second.isOpen())
        {
            print ("secondInstance", second.getError().quoted());
            return;
        }

        auto& frame = newFrame ("");
        const auto firstWindow = newWindow (firstPlace), secondWindow = newWindow (secondPlace);
        auto* firstView = openView (controller, frame, firstWindow, "first.");
        auto* secondView = openView (second.getController(), frame, secondWindow, "second.");

        if (firstView != nullptr)
        {
            // The frame stays the host's: the other view still has it.
            call ("first.close.removed", [&] { return firstView->removed(); });
            call ("first.close.setFrame", [&] { return firstView->setFrame (nullptr); });
            release (firstView);
        }

        if (secondView == nullptr)
            return;

        printFlag ("secondRedraws", redraws (secondWindow));
        print ("registrationsWhileSecondOpen", juce::String (frame.getRegistrations()));
        closeInSdkOrder (secondView, frame, "second.");
    }

    void twoViews()
    {
        auto& firstFrame = newFrame ("view1.");
        auto& secondFrame = newFrame ("view2.");
        const auto firstWindow = newWindow (firstPlace), secondWindow = newWindow (secondPlace);
        auto* first = createView (controller, "view1.created");

        if (first == nullptr)
            return;

        call ("view1.setFrame", [&] { return first->setFrame (&firstFrame); });
        attach (*first, firstWindow, "view1.attached");
        call ("view1.removed", [&] { return first->removed(); });

        // A host that keeps a removed view and makes another one still gets an editor in it.
        auto* second = createView (controller, "view2.created");

        if (second != nullptr)
        {
            call ("view2.setFrame", [&] { return second->setFrame (&secondFrame); });
            attach (*second, secondWindow, "view2.attached");
            printFlag ("view2.drawn", drawn (secondWindow));
        }

        // The editor is the second view's now: the first one has none to show.
        attach (*first, firstWindow, "view1.attachedAgain");
        call ("view1.removedAgain", [&] { return first->removed(); });

        if (second != nullptr)
        {
            printSize (*second, "view2.size");
            printFlag ("view2.redraws", redraws (secondWindow));
            closeInSdkOrder (second, secondFrame, "view2.");
        }

        // Once the other view has gone, the first one attached again gets an editor of its own.
        call ("view1.setFrameAgain", [&] { return first->setFrame (&firstFrame); });
        attach (*first, firstWindow, "view1.reattached");
        printFlag ("view1.drawn", drawn (firstWindow));
        closeInSdkOrder (first, firstFrame, "view1.");
    }

    void scale()
    {
        auto& frame = newFrame ("");
        const auto window = newWindow (firstPlace);
        auto* view = openView (controller, frame, window, "");

        if (view == nullptr)
            return;

        {
            FUnknownPtr<IPlugViewContentScaleSupport> support (view);
            printFlag ("scaleSupport", support != nullptr);

            if (support != nullptr)
                callScaleFactors (*support, *view, frame);
        }

        closeInSdkOrder (view, frame, "");

        // A view made afterwards, with no scale call, has the editor's own size and draws.
        auto& nextFrame = newFrame ("next.");
        auto* next = openView (controller, nextFrame, window, "next.");

        if (next != nullptr)
        {
            printSize (*next, "next.sizeAttached");
            closeInSdkOrder (next, nextFrame, "next.");
        }
    }

    void callScaleFactors (IPlugViewContentScaleSupport& support, IPlugView& view, HostPlugFrame& frame)
    {
        constexpr auto infinity = std::numeric_limits<float>::infinity();
        int otherSizes = 0;

        for (const auto& [name, factor] : std::vector<std::pair<juce::String, float>> {
                 { "0", 0.0f }, { "nan", std::numeric_limits<float>::quiet_NaN() }, { "inf", infinity }, { "-inf", -infinity },
                 { "-1", -1.0f }, { "1e-30", 1e-30f }, { "100", 100.0f }, { "1e30", 1e30f } })
        {
            const auto asked = frame.getSizesAsked().size();
            call ("factor." + name, [&, factor = factor] { return support.setContentScaleFactor (factor); });
            printSize (view, "factor." + name + ".size");

            for (auto i = asked; i < frame.getSizesAsked().size(); ++i)
                otherSizes += sizeText (frame.getSizesAsked()[i]) == "1350x660" ? 0 : 1;
        }

        print ("badFactors.otherSizesAsked", juce::String (otherSizes));

        call ("factor.1", [&] { return support.setContentScaleFactor (1.0f); });
        const auto asked = frame.getSizesAsked().size();
        call ("factor.1.25", [&] { return support.setContentScaleFactor (1.25f); });
        printSize (view, "factor.1.25.size");
        print ("factor.1.25.asked", frame.getSizesAsked().size() > asked ? sizeText (frame.getSizesAsked().back()) : juce::String ("none"));
        call ("factor.1.back", [&] { return support.setContentScaleFactor (1.0f); });
        printSize (view, "factor.1.back.size");

        for (int trip = 1; trip <= 3; ++trip)
        {
            const auto name = "roundTrip" + juce::String (trip);
            call (name + ".up", [&] { return support.setContentScaleFactor (1.25f); });
            call (name + ".down", [&] { return support.setContentScaleFactor (1.0f); });
            printSize (view, name + ".size");
        }

        // The last factor the view was given is refused too, so nothing of it reaches the next view.
        call ("factor.0.last", [&] { return support.setContentScaleFactor (0.0f); });
    }

    void onSize()
    {
        auto& frame = newFrame ("");
        const auto window = newWindow (firstPlace);
        auto* view = createView (controller, "created");

        if (view == nullptr)
            return;

        const auto residentBefore = residentMB();
        call ("setFrame", [&] { return view->setFrame (&frame); });
        call ("beforeAttached", [&] { ViewRect rect { 0, 0, 16384, 16384 }; return view->onSize (&rect); });
        attach (*view, window, "attached");
        printSize (*view, "size");
        printFlag ("drawn", drawn (window));

        for (const auto& [name, rect] : std::vector<std::pair<juce::String, ViewRect>> {
                 { "16384x16384", { 0, 0, 16384, 16384 } },
                 { "22000x22000", { 0, 0, 22000, 22000 } },
                 { "23170x23170", { 0, 0, 23170, 23170 } },
                 { "32767x32767", { 0, 0, 32767, 32767 } },
                 { "65536x65536", { 0, 0, 65536, 65536 } },
                 { "int32MaxSquare", { 0, 0, int32Max, int32Max } },
                 { "0x0", { 0, 0, 0, 0 } },
                 { "-100x-100", { 0, 0, -100, -100 } },
                 { "int32Span", { int32Min, int32Min, int32Max, int32Max } } })
        {
            call ("rect." + name, [&, rect = rect]() mutable { return view->onSize (&rect); });
            // Painting what the view took is where a size costs memory.
            TestHost::pumpMessages (100);
            printSize (*view, "rect." + name + ".size");
        }

        call ("current", [&] { ViewRect rect { 0, 0, 1350, 660 }; return view->onSize (&rect); });
        printFlag ("drawnAfter", drawn (window));
        print ("residentGrowthMB", juce::String (residentMB() - residentBefore));
        closeInSdkOrder (view, frame, "");
    }

    void sizeConstraint()
    {
        auto& frame = newFrame ("");
        const auto window = newWindow (firstPlace);
        auto* view = openView (controller, frame, window, "");

        if (view == nullptr)
            return;

        ViewRect normal { 0, 0, 100, 100 };
        call ("normal", [&] { return view->checkSizeConstraint (&normal); });
        print ("normal.size", sizeText (normal));

        // Refused and left alone, or the editor's size measured from where the host put it, in
        // 64 bits since int32 cannot hold the right edge.
        const ViewRect nearMaxGiven { int32Max - 10, int32Max - 10, int32Max, int32Max };
        auto nearMax = nearMaxGiven;
        const auto answer = call ("nearMax", [&] { return view->checkSizeConstraint (&nearMax); });
        const auto unchanged = nearMax.left == nearMaxGiven.left && nearMax.top == nearMaxGiven.top
                            && nearMax.right == nearMaxGiven.right && nearMax.bottom == nearMaxGiven.bottom;
        const auto editorSized = (juce::int64) nearMax.right - nearMax.left == 1350 && (juce::int64) nearMax.bottom - nearMax.top == 660;
        printFlag ("nearMaxValid", (answer == kResultFalse && unchanged) || (answer == kResultOk && editorSized));

        call ("null", [&] { return view->checkSizeConstraint (nullptr); });
        closeInSdkOrder (view, frame, "");
    }

    void attachedTwice()
    {
        auto& frame = newFrame ("");
        const auto firstWindow = newWindow (firstPlace), secondWindow = newWindow (secondPlace);
        auto* view = createView (controller, "created");

        if (view == nullptr)
            return;

        call ("setFrame", [&] { return view->setFrame (&frame); });
        attach (*view, firstWindow, "first");
        attach (*view, secondWindow, "second");
        printFlag ("firstDrawn", drawn (firstWindow));
        closeInSdkOrder (view, frame, "");
    }

    void afterTerminate()
    {
        Vst3Instance fresh (module.getFactory(), module.getHostContext());

        if (! fresh.isOpen())
        {
            print ("instance", fresh.getError().quoted());
            return;
        }

        auto& frame = newFrame ("");
        const auto window = newWindow (firstPlace);
        auto* view = createView (fresh.getController(), "created");

        if (view == nullptr)
            return;

        call ("setFrame", [&] { return view->setFrame (&frame); });
        attach (*view, window, "attached");
        call ("removed", [&] { return view->removed(); });
        call ("terminate", [&] { return fresh.terminateController(); });

        // The controller has gone: there is no editor to attach, and nothing crashes.
        attach (*view, window, "attachedAgain");
        printSize (*view, "size");
        call ("onSize", [&] { ViewRect rect { 0, 0, 1350, 660 }; return view->onSize (&rect); });
        call ("removedAgain", [&] { return view->removed(); });
        call ("close.setFrame", [&] { return view->setFrame (nullptr); });
        frame.takeBack();
        release (view);
    }

    void noRunLoop()
    {
        auto& frame = newFrame ("", false);
        const auto window = newWindow (firstPlace);

        // A frame without a run loop, and none at all: refused, or opened and drawn.
        for (const auto withFrame : { true, false })
        {
            const juce::String name (withFrame ? "noRunLoopFrame." : "noFrame.");
            auto* view = createView (controller, name + "created");

            if (view == nullptr)
                continue;

            if (withFrame)
                call (name + "setFrame", [&] { return view->setFrame (&frame); });

            attach (*view, window, name + "attached");
            printFlag (name + "drawn", drawn (window));
            call (name + "removed", [&] { return view->removed(); });

            if (withFrame)
                call (name + "close.setFrame", [&] { return view->setFrame (nullptr); });

            release (view);
            TestHost::pumpMessages (50);
        }

        // Opened and closed over and over, with and without the frame, as a host does when a user
        // clicks through plug-ins: it must finish.
        int cycles = 0, attachedOk = 0;

        for (; cycles < 50; ++cycles)
        {
            const auto withFrame = cycles % 2 == 0;
            IPlugView* view = nullptr;

            answers.withoutException ([&]
            {
                view = controller.createView (Vst::ViewType::kEditor);

                if (view == nullptr)
                    return;

                if (withFrame)
                    view->setFrame (&frame);

                attachedOk += view->attached (windowHandle (window), kPlatformTypeX11EmbedWindowID) == kResultOk ? 1 : 0;
                TestHost::pumpMessages (10);
                view->removed();

                if (withFrame)
                    view->setFrame (nullptr);
            });

            release (view);
            TestHost::pumpMessages (10);
        }

        print ("cycles", juce::String (cycles));
        print ("cycles.attachedOk", juce::String (attachedOk));
    }

    //==============================================================================
    HostPlugFrame& newFrame (const juce::String& label, bool withRunLoop = true)
    {
        frames.push_back (std::make_unique<HostPlugFrame> (withRunLoop));
        records.push_back ({ frames.back().get(), label });
        caseFrames.push_back (records.size() - 1);
        return *frames.back();
    }

    unsigned long newWindow (juce::Rectangle<int> place)
    {
        const auto window = windows.create (place);
        caseWindows.push_back (window);
        return window;
    }

    static void* windowHandle (unsigned long window) { return (void*) (juce::pointer_sized_uint) window; }

    IPlugView* createView (Vst::IEditController& editController, const juce::String& what)
    {
        IPlugView* view = nullptr;
        answers.withoutException ([&] { view = editController.createView (Vst::ViewType::kEditor); });
        printFlag (what, view != nullptr);
        return view;
    }

    /** createView, setFrame, getSize, attached and the window drawn, each printed. */
    IPlugView* openView (Vst::IEditController& editController, HostPlugFrame& frame, unsigned long window, const juce::String& prefix)
    {
        auto* view = createView (editController, prefix + "created");

        if (view == nullptr)
            return nullptr;

        call (prefix + "setFrame", [&] { return view->setFrame (&frame); });
        printSize (*view, prefix + "size");
        attach (*view, window, prefix + "attached");
        printFlag (prefix + "drawn", drawn (window));
        return view;
    }

    /** As the VST3 SDK's editor host closes a view: the frame taken back first. */
    void closeInSdkOrder (IPlugView*& view, HostPlugFrame& frame, const juce::String& prefix)
    {
        call (prefix + "close.setFrame", [&] { return view->setFrame (nullptr); });
        frame.takeBack();
        call (prefix + "close.removed", [&] { return view->removed(); });
        release (view);
    }

    tresult attach (IPlugView& view, unsigned long window, const juce::String& what)
    {
        return call (what, [&] { return view.attached (windowHandle (window), kPlatformTypeX11EmbedWindowID); });
    }

    void release (IPlugView*& view)
    {
        if (view != nullptr)
            answers.withoutException ([&] { view->release(); });

        view = nullptr;
    }

    /** getSize, printed as WxH when answered ok, else the answer. */
    void printSize (IPlugView& view, const juce::String& what)
    {
        ViewRect rect {};
        tresult result = kResultOk;
        const auto returned = answers.withoutException ([&] { result = view.getSize (&rect); });
        print (what, ! returned ? juce::String ("threw") : (result == kResultOk ? sizeText (rect) : CallAnswers::describe (result)));
    }

    bool drawn (unsigned long window)
    {
        for (int waited = 0; waited < paintLimitMs; waited += paintCheckMs)
        {
            TestHost::pumpMessages (paintCheckMs);

            if (windows.distinctColours (window) > drawnColours)
                return true;
        }

        return false;
    }

    /** Whether the editor paints its window again after the window was hidden and shown: its
        GUI's descriptors are still served. */
    bool redraws (unsigned long window)
    {
        windows.unmap (window);
        TestHost::pumpMessages (100);
        windows.map (window);
        return drawn (window);
    }

    tresult call (const juce::String& what, const std::function<tresult()>& toCall)
    {
        return answers.answer (caseName + "." + what, toCall);
    }

    void print (const juce::String& what, const juce::String& value) const { answers.print (caseName + "." + what, value); }
    void printFlag (const juce::String& what, bool value) const { print (what, juce::String (value ? "1" : "0")); }

    /** What the case's frames hold once its views have gone; its windows hidden. */
    void endCase()
    {
        TestHost::pumpMessages (200);

        for (const auto index : caseFrames)
        {
            auto& record = records[index];
            record.frame->takeBack();
            print (record.label + "registrationsLeft", juce::String (record.frame->getRegistrations()));
            print (record.label + "frameReferences", juce::String (record.frame->getReferencesBeyondHost()));
            print (record.label + "callsAfterTakenBack", juce::String (record.frame->getCallsAfterTakenBack()));
            record.callsAtCaseEnd = record.frame->getCallsAfterTakenBack();
        }

        for (const auto window : caseWindows)
            windows.unmap (window);

        caseFrames.clear();
        caseWindows.clear();
        printFlag ("done", true);
    }

    const Vst3Module& module;
    Vst::IEditController& controller;
    XParentWindows& windows;
    std::vector<std::unique_ptr<HostPlugFrame>>& frames;
    std::vector<FrameRecord> records;
    std::vector<size_t> caseFrames;
    std::vector<unsigned long> caseWindows;
    juce::String caseName;
    CallAnswers answers { "view." };
    Watchdog watchdog;
};
} // namespace

ViewContractCalls::ViewContractCalls() : windows (std::make_unique<XParentWindows>()) {}
ViewContractCalls::~ViewContractCalls()
{
    // The module has gone by now: whatever it called since the battery ended is printed here.
    if (callsDuringBattery >= 0)
        TestHost::print ("view.callsAfterTheBattery=" + juce::String (callsAfterTakenBack() - callsDuringBattery));
}

int ViewContractCalls::callsAfterTakenBack() const
{
    int calls = 0;

    for (const auto& frame : frames)
        calls += frame->getCallsAfterTakenBack();

    return calls;
}

juce::StringArray ViewContractCalls::getCaseNames()
{
    juce::StringArray names;

    for (const auto& [name, method] : Battery::cases())
        names.add (name);

    return names;
}

bool ViewContractCalls::run (const Vst3Module& module, const juce::String& onlyCase)
{
    if (! windows->isAvailable())
    {
        TestHost::fail ("the view calls need a display (run under xvfb-run)");
        return false;
    }

    Battery (module, *windows, frames).run (onlyCase);
    callsDuringBattery = callsAfterTakenBack();
    return true;
}
