#include "MainThreadEdits.h"

void MainThreadEdits::request (Steinberg::Vst::ParamID id, double value)
{
    std::unique_lock<std::mutex> lock (mutex);
    pending = { id, value };
    hasPending = true;
    done.wait (lock, [this] { return ! hasPending; });
}

bool MainThreadEdits::run (const std::function<bool()>& taskToRun)
{
    std::unique_lock<std::mutex> lock (mutex);
    task = &taskToRun;
    hasPending = true;
    done.wait (lock, [this] { return ! hasPending; });
    task = nullptr;
    return taskResult;
}

void MainThreadEdits::serve (Steinberg::Vst::IEditController& controller)
{
    const std::lock_guard<std::mutex> lock (mutex);

    if (! hasPending)
        return;

    if (task != nullptr)
        taskResult = (*task)();
    else
        controller.setParamNormalized (pending.first, pending.second);

    hasPending = false;
    done.notify_all();
}
