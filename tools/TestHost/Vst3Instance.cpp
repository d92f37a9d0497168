#include "Vst3Instance.h"

#include "Vst3Objects.h"

#include <pluginterfaces/vst/ivstaudioprocessor.h>

namespace
{
using namespace Steinberg;

template <typename Interface>
void release (Interface*& object)
{
    if (object != nullptr)
        object->release();

    object = nullptr;
}
} // namespace

Vst3Instance::Vst3Instance (IPluginFactory& factory, FUnknown* hostContext, Connection connection)
{
    component = Vst3Objects::create<Vst::IComponent> (factory, kVstAudioEffectClass);
    controller = Vst3Objects::create<Vst::IEditController> (factory, kVstComponentControllerClass);

    if (component == nullptr || controller == nullptr)
    {
        error = "the factory offers no audio component and edit controller";
        return;
    }

    componentInitialised = component->initialize (hostContext) == kResultOk;
    controllerInitialised = controller->initialize (hostContext) == kResultOk;

    if (! componentInitialised || ! controllerInitialised)
    {
        error = "the component or the controller refused to initialise";
        return;
    }

    if (connection == Connection::none)
        return;

    componentPoint = Vst3Objects::query<Vst::IConnectionPoint> (*component);
    controllerPoint = Vst3Objects::query<Vst::IConnectionPoint> (*controller);

    if (componentPoint != nullptr && controllerPoint != nullptr)
    {
        componentPoint->connect (controllerPoint);
        controllerPoint->connect (componentPoint);
        connected = true;
    }
}

Vst3Instance::~Vst3Instance()
{
    if (connected)
    {
        controllerPoint->disconnect (componentPoint);
        componentPoint->disconnect (controllerPoint);
    }

    release (controllerPoint);
    release (componentPoint);

    if (controllerInitialised)
        controller->terminate();

    if (componentInitialised)
        component->terminate();

    release (controller);
    release (component);
}

tresult Vst3Instance::terminateController()
{
    if (! controllerInitialised)
        return kResultFalse;

    controllerInitialised = false;
    return controller->terminate();
}
