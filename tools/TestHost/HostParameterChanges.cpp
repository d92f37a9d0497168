#include "HostParameterChanges.h"

#include <cstring>

using namespace Steinberg;

HostParameterChanges::HostParameterChanges (int pointsPerQueue)
{
    for (auto& queue : queues)
        queue.reserve (pointsPerQueue);
}

void HostParameterChanges::clear() noexcept
{
    used = 0;
    claimedQueues = -1;
}

void HostParameterChanges::claimQueues (int32 claimed, bool repeatLast) noexcept
{
    claimedQueues = claimed;
    repeatLastQueue = repeatLast;
}

bool HostParameterChanges::add (Vst::ParamID id, int32 offset, double value) noexcept
{
    int32 index = 0;
    auto* queue = addParameterData (id, index);
    return queue != nullptr && queue->addPoint (offset, value, index) == kResultTrue;
}

int32 PLUGIN_API HostParameterChanges::getParameterCount()
{
    return claimedQueues >= 0 ? claimedQueues : used;
}

Vst::IParamValueQueue* PLUGIN_API HostParameterChanges::getParameterData (int32 index)
{
    if (index >= 0 && index < used)
        return &queues[(size_t) index];

    return repeatLastQueue && used > 0 && index >= used && index < claimedQueues ? &queues[(size_t) used - 1] : nullptr;
}

bool HostParameterChanges::addRaw (Vst::ParamID id, int32 claimed) noexcept
{
    if (used == maxParameters || claimed < 0)
        return false;

    auto& queue = queues[(size_t) used++];
    queue.reset (id);
    queue.makeRaw (claimed);
    return true;
}

bool HostParameterChanges::appendRaw (int32 offset, double value) noexcept
{
    return used > 0 && queues[(size_t) used - 1].isRaw() && queues[(size_t) used - 1].append (offset, value);
}

bool HostParameterChanges::addRamp (Vst::ParamID id, int32 points, double first, double last) noexcept
{
    if (used == maxParameters || points < 1)
        return false;

    auto& queue = queues[(size_t) used++];
    queue.reset (id);
    queue.makeRamp (points, first, last);
    return true;
}

Vst::IParamValueQueue* PLUGIN_API HostParameterChanges::addParameterData (const Vst::ParamID& id, int32& index)
{
    for (index = 0; index < used; ++index)
        if (queues[(size_t) index].getParameterId() == id && ! queues[(size_t) index].isRaw())
            return &queues[(size_t) index];

    if (used == maxParameters)
        return nullptr;

    index = used++;
    queues[(size_t) index].reset (id);
    return &queues[(size_t) index];
}

tresult PLUGIN_API HostParameterChanges::queryInterface (const TUID iid, void** object)
{
    if (FUnknownPrivate::iidEqual (iid, Vst::IParameterChanges::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
    {
        *object = this;
        return kResultOk;
    }

    *object = nullptr;
    return kNoInterface;
}

void HostParameterChanges::Queue::reset (Vst::ParamID newId) noexcept
{
    id = newId;
    count = 0;
    claimed = -1;
    rampPoints = 0;
}

void HostParameterChanges::Queue::makeRamp (int32 points, double first, double last) noexcept
{
    // Marked raw too, so that add() never puts points into it.
    claimed = points;
    rampPoints = points;
    rampFirst = first;
    rampLast = last;
}

bool HostParameterChanges::Queue::append (int32 offset, double value) noexcept
{
    if ((size_t) count == storage.size())
        return false;

    storage[(size_t) count++] = { offset, value };
    return true;
}

tresult PLUGIN_API HostParameterChanges::Queue::getPoint (int32 index, int32& offset, Vst::ParamValue& value)
{
    if (rampPoints > 0 && index >= 0 && index < rampPoints)
    {
        offset = index;
        value = rampPoints == 1 ? rampLast : rampFirst + (rampLast - rampFirst) * (double) index / (double) (rampPoints - 1);
        return kResultTrue;
    }

    if (index < 0 || index >= count)
        return kResultFalse;

    offset = storage[(size_t) index].offset;
    value = storage[(size_t) index].value;
    return kResultTrue;
}

tresult PLUGIN_API HostParameterChanges::Queue::addPoint (int32 offset, Vst::ParamValue value, int32& index)
{
    // Kept in ascending offset; a point at an offset already held replaces it.
    int32 at = count;

    for (int32 i = 0; i < count; ++i)
    {
        if (storage[(size_t) i].offset == offset)
        {
            storage[(size_t) i].value = value;
            index = i;
            return kResultTrue;
        }

        if (storage[(size_t) i].offset > offset)
        {
            at = i;
            break;
        }
    }

    if ((size_t) count == storage.size())
        return kResultFalse;

    std::memmove (storage.data() + at + 1, storage.data() + at, (size_t) (count - at) * sizeof (Point));
    storage[(size_t) at] = { offset, value };
    ++count;
    index = at;
    return kResultTrue;
}

tresult PLUGIN_API HostParameterChanges::Queue::queryInterface (const TUID iid, void** object)
{
    if (FUnknownPrivate::iidEqual (iid, Vst::IParamValueQueue::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
    {
        *object = this;
        return kResultOk;
    }

    *object = nullptr;
    return kNoInterface;
}
