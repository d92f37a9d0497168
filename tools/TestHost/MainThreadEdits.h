#pragma once

#include <pluginterfaces/vst/ivsteditcontroller.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

/** Host-side edits the audio thread hands to the main thread, waiting until each has run there,
    as a DAW's own parameter slider acts on its GUI thread between audio calls; and other host
    actions a DAW takes there between calls (a re-activation). */
class MainThreadEdits
{
public:
    /** Audio thread: blocks until serve() has run the edit. */
    void request (Steinberg::Vst::ParamID id, double value);

    /** Audio thread: blocks until serve() has run the task; what it returned. */
    bool run (const std::function<bool()>& task);

    /** Main thread: runs a waiting edit, IEditController::setParamNormalized, or a waiting task. */
    void serve (Steinberg::Vst::IEditController& controller);

private:
    std::mutex mutex;
    std::condition_variable done;
    std::pair<Steinberg::Vst::ParamID, double> pending;
    const std::function<bool()>* task = nullptr;
    bool hasPending = false, taskResult = false;
};
