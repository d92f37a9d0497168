#pragma once

#include <pluginterfaces/vst/ivsteditcontroller.h>

#include <condition_variable>
#include <mutex>
#include <utility>

/** Host-side edits the audio thread hands to the main thread, waiting until each has run there,
    as a DAW's own parameter slider acts on its GUI thread between audio calls. */
class MainThreadEdits
{
public:
    /** Audio thread: blocks until serve() has run the edit. */
    void request (Steinberg::Vst::ParamID id, double value);

    /** Main thread: runs a waiting edit, IEditController::setParamNormalized. */
    void serve (Steinberg::Vst::IEditController& controller);

private:
    std::mutex mutex;
    std::condition_variable done;
    std::pair<Steinberg::Vst::ParamID, double> pending;
    bool hasPending = false;
};
