#pragma once

#include <juce_core/juce_core.h>

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

/** One instance of a module's plug-in as a DAW makes it: the factory's audio component and edit
    controller, initialised with the host's context and, unless asked otherwise, connected to each
    other. When it goes, what was done is undone in the reverse order: disconnected, terminated,
    released. */
class Vst3Instance
{
public:
    enum class Connection
    {
        toEachOther,
        none // the host connects them itself, through a point of its own
    };

    /** The context must outlive the instance. On failure isOpen() is false and getError() says why. */
    Vst3Instance (Steinberg::IPluginFactory& factory, Steinberg::FUnknown* hostContext, Connection connection = Connection::toEachOther);
    ~Vst3Instance();

    bool isOpen() const { return error.isEmpty(); }
    const juce::String& getError() const { return error; }

    Steinberg::Vst::IComponent& getComponent() const { return *component; }
    Steinberg::Vst::IEditController& getController() const { return *controller; }

    /** Terminates the controller ahead of the component, as a host that closes it first does; it
        is then released without being terminated again. */
    Steinberg::tresult terminateController();

    JUCE_DECLARE_NON_COPYABLE (Vst3Instance)

private:
    Steinberg::Vst::IComponent* component = nullptr;
    Steinberg::Vst::IEditController* controller = nullptr;
    Steinberg::Vst::IConnectionPoint* componentPoint = nullptr;
    Steinberg::Vst::IConnectionPoint* controllerPoint = nullptr;
    bool componentInitialised = false, controllerInitialised = false, connected = false;
    juce::String error;
};
