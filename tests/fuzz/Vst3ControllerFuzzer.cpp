// libFuzzer target: any sequence of calls a host makes on the plug-in's edit controller, its unit
// and MIDI-mapping interfaces and the factory, with any index, id, value, text or null pointer,
// must be answered without a crash, an exception, an out-of-bounds access or undefined behaviour.
// Beyond that, what the controller hands back must be usable: a value read from text is finite and
// within 0..1, a value text is terminated, and a parameter's value stays within 0..1.

#include "tools/TestHost/Vst3Objects.h"

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <pluginterfaces/vst/ivstmidicontrollers.h>
#include <pluginterfaces/vst/ivstunits.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

extern "C" Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory();

namespace
{
using namespace Steinberg;

/** Reads the input front to back; past its end every value is 0. */
class Input
{
public:
    Input (const std::uint8_t* dataToUse, size_t sizeToUse) : data (dataToUse), size (sizeToUse) {}

    bool done() const { return position >= size; }

    template <typename T>
    T take()
    {
        T value {};
        const auto n = std::min (sizeof (T), size - std::min (size, position));
        std::memcpy (&value, data + position, n);
        position += sizeof (T);
        return value;
    }

    /** A String128 filled from the input: up to 128 characters, terminated or not. */
    void text (Vst::String128 out)
    {
        const auto length = std::min<size_t> (take<std::uint8_t>(), 128);
        std::fill (out, out + 128, (Vst::TChar) 0);

        for (size_t i = 0; i < length; ++i)
            out[i] = take<Vst::TChar>();
    }

private:
    const std::uint8_t* data;
    size_t size, position = 0;
};

/** A reference to nothing, as a host written without references hands a null pointer where an
    interface takes one; read through a volatile so that the compiler assumes nothing of it. */
template <typename T>
T& nullReference()
{
    T* volatile none = nullptr;
    return *none;
}

void check (bool condition, const char* what)
{
    if (! condition)
    {
        std::cerr << "contract broken: " << what << std::endl;
        std::abort();
    }
}

bool terminated (const Vst::String128 text)
{
    return std::find (text, text + 128, (Vst::TChar) 0) != text + 128;
}

/** The component and the controller, made and connected as a host does. Never released: at exit
    the framework's own statics may already be gone. */
struct Plugin
{
    Plugin()
    {
        if (component == nullptr || controller == nullptr)
        {
            std::cerr << "the factory offers no audio component and edit controller" << std::endl;
            std::abort();
        }

        units = Vst3Objects::query<Vst::IUnitInfo> (*controller);
        midi = Vst3Objects::query<Vst::IMidiMapping> (*controller);
        check (units != nullptr && midi != nullptr, "the controller offers unit and MIDI-mapping information");

        component->initialize (nullptr);
        controller->initialize (nullptr);
        auto* componentPoint = Vst3Objects::query<Vst::IConnectionPoint> (*component);
        auto* controllerPoint = Vst3Objects::query<Vst::IConnectionPoint> (*controller);
        componentPoint->connect (controllerPoint);
        controllerPoint->connect (componentPoint);

        for (int32 i = 0; i < controller->getParameterCount(); ++i)
        {
            Vst::ParameterInfo info {};

            if (controller->getParameterInfo (i, info) == kResultOk)
                ids.push_back (info.id);
        }
    }

    /** Mostly one of the parameters' ids, sometimes any number. */
    Vst::ParamID id (Input& in) const
    {
        const auto pick = in.take<std::uint8_t>();
        return pick < 224 ? ids[pick % ids.size()] : in.take<Vst::ParamID>();
    }

    IPluginFactory* factory = GetPluginFactory();
    Vst::IComponent* component = Vst3Objects::create<Vst::IComponent> (*factory, kVstAudioEffectClass);
    Vst::IEditController* controller = Vst3Objects::create<Vst::IEditController> (*factory, kVstComponentControllerClass);
    Vst::IUnitInfo* units = nullptr;
    Vst::IMidiMapping* midi = nullptr;
    std::vector<Vst::ParamID> ids;
};

void call (const Plugin& plugin, Input& in)
{
    auto& controller = *plugin.controller;
    const auto nulls = in.take<std::uint8_t>() < 16; // now and then a null where a pointer goes

    switch (in.take<std::uint8_t>() % 10)
    {
        case 0:
        {
            Vst::ParameterInfo info {};
            const auto index = in.take<int32>();
            nulls ? controller.getParameterInfo (index, nullReference<Vst::ParameterInfo>()) : controller.getParameterInfo (index, info);
            break;
        }
        case 1:
        {
            Vst::String128 text;
            std::fill (text, text + 128, (Vst::TChar) 'x');
            const auto id = plugin.id (in);
            const auto value = in.take<double>();

            if (controller.getParamStringByValue (id, value, nulls ? nullptr : text) == kResultOk)
                check (terminated (text), "a value text ends within 128 characters");

            break;
        }
        case 2:
        {
            Vst::String128 text;
            in.text (text);
            const auto id = plugin.id (in);
            Vst::ParamValue value = 0.25;

            if (nulls)
                controller.getParamValueByString (id, text, nullReference<Vst::ParamValue>());
            else if (controller.getParamValueByString (id, text, value) == kResultOk)
                check (std::isfinite (value) && value >= 0.0 && value <= 1.0, "a value read from text is finite and within 0..1");

            break;
        }
        case 3:
        {
            const auto id = plugin.id (in);
            controller.setParamNormalized (id, in.take<double>());
            const auto value = controller.getParamNormalized (id);
            check (std::isfinite (value) && value >= 0.0 && value <= 1.0, "a parameter's value stays within 0..1");
            break;
        }
        case 4:
        {
            Vst::UnitInfo info {};
            const auto index = in.take<int32>();
            nulls ? plugin.units->getUnitInfo (index, nullReference<Vst::UnitInfo>()) : plugin.units->getUnitInfo (index, info);
            break;
        }
        case 5:
        {
            Vst::ProgramListInfo info {};
            const auto index = in.take<int32>();
            nulls ? plugin.units->getProgramListInfo (index, nullReference<Vst::ProgramListInfo>()) : plugin.units->getProgramListInfo (index, info);
            break;
        }
        case 6:
        {
            Vst::String128 name {};
            const auto list = in.take<Vst::ProgramListID>();
            const auto index = in.take<int32>();

            if (plugin.units->getProgramName (list, index, nulls ? nullptr : name) == kResultOk)
                check (terminated (name), "a program name ends within 128 characters");

            break;
        }
        case 7:
        {
            Vst::UnitID unit = 0;
            const auto type = in.take<int32>(), direction = in.take<int32>(), bus = in.take<int32>(), channel = in.take<int32>();
            nulls ? plugin.units->getUnitByBus (type, direction, bus, channel, nullReference<Vst::UnitID>())
                  : plugin.units->getUnitByBus (type, direction, bus, channel, unit);
            break;
        }
        case 8:
        {
            Vst::ParamID id = 0;
            const auto bus = in.take<int32>();
            const auto channel = in.take<int16>(), number = in.take<int16>();
            nulls ? plugin.midi->getMidiControllerAssignment (bus, channel, number, nullReference<Vst::ParamID>())
                  : plugin.midi->getMidiControllerAssignment (bus, channel, number, id);
            break;
        }
        default:
        {
            PClassInfo info {};
            plugin.factory->getClassInfo (in.take<int32>(), nulls ? nullptr : &info);
            break;
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    static const Plugin plugin;
    Input in (data, size);

    try
    {
        for (int calls = 0; calls < 64 && ! in.done(); ++calls)
            call (plugin, in);
    }
    catch (...)
    {
        check (false, "no exception leaves a VST3 call");
    }

    return 0;
}
