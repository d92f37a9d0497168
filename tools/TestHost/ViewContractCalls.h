#pragma once

#include "HostPlugFrame.h"
#include "XParentWindows.h"

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

class Vst3Module;

/** Calls that DAWs make on the plug-in's editor views (IPlugView), in the orders different hosts
    make them and in some that no host should: closed in the VST3 SDK's editor host's order and in
    the other, two instances and two views open at once, a removed view attached again, content
    scale factors and sizes of any value, a view of a terminated controller, frames without a run
    loop. Each case runs on the host's thread with the message loop pumped between steps, the views
    attached to X windows of the host's own, with a HostPlugFrame each, and prints
    `view.<case>.<what>=<value>`: the calls' answers (as CallAnswers), sizes as WxH, whether a
    window shows a drawn editor (1 or 0), and per frame what it holds at the end of the case
    (registrationsLeft, frameReferences beyond the host's own, callsAfterTakenBack); then
    `view.<case>.done=1`. At the end: view.lateFrameCalls (calls into frames of cases already
    over), view.xErrors (for information) and view.thrown. A case that runs longer than a minute
    prints view.hung=<case> and aborts the process. Needs an X display.

    Make the object before the module is opened, as a DAW's display is set up before it loads a
    plug-in, and keep it until the module has gone: the frames and windows it handed the plug-in
    live as long as it does, so that a plug-in which kept one calls counted memory, not freed
    memory. When it goes it prints view.callsAfterTheBattery: the calls into taken-back frames
    made after the battery, up to the module's unloading. */
class ViewContractCalls
{
public:
    /** Opens the display connection for the windows (XParentWindows). */
    ViewContractCalls();
    ~ViewContractCalls();

    /** The cases, in the order they run. */
    static juce::StringArray getCaseNames();

    /** Runs every case, or only the named one, on the module's plug-in. False, having said why,
        when there is no display. */
    bool run (const Vst3Module& module, const juce::String& onlyCase);

private:
    int callsAfterTakenBack() const;

    std::vector<std::unique_ptr<HostPlugFrame>> frames;
    std::unique_ptr<XParentWindows> windows;
    int callsDuringBattery = -1; // -1: the battery has not run

    JUCE_DECLARE_NON_COPYABLE (ViewContractCalls)
};
