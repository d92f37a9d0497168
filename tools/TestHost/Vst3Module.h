#pragma once

#include <juce_core/juce_core.h>

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <memory>

namespace Steinberg::Vst
{
class HostApplication;
}

/** The bundle's VST3 module opened straight from its shared library, as a DAW opens it, without
    the framework's hosting: the factory's audio component and edit controller, initialised with a
    host context and connected to each other. Everything is released in the reverse order when
    the object goes. */
class Vst3Module
{
public:
    /** Opens the bundle (a path relative to the working folder); on failure isOpen() is false
        and getError() says why. */
    explicit Vst3Module (const juce::String& bundlePath);
    ~Vst3Module();

    bool isOpen() const { return component != nullptr && controller != nullptr; }
    const juce::String& getError() const { return error; }

    Steinberg::Vst::IComponent& getComponent() const { return *component; }
    Steinberg::Vst::IEditController& getController() const { return *controller; }
    Steinberg::IPluginFactory& getFactory() const { return *factory; }

    /** The component's state (IComponent::getState), the bytes a DAW keeps in its project. */
    juce::MemoryBlock componentState() const;

    /** Restores component state as a DAW opening a project does: IComponent::setState, then the
        same bytes to the controller's setComponentState. False when the component refuses them. */
    bool restoreComponentState (const juce::MemoryBlock& state) const;

    JUCE_DECLARE_NON_COPYABLE (Vst3Module)

private:
    bool open (const juce::String& bundlePath);

    juce::DynamicLibrary library;
    bool (*moduleExit)() = nullptr;
    Steinberg::IPluginFactory* factory = nullptr;
    std::unique_ptr<Steinberg::Vst::HostApplication> hostContext;
    Steinberg::Vst::IComponent* component = nullptr;
    Steinberg::Vst::IEditController* controller = nullptr;
    Steinberg::Vst::IConnectionPoint* componentPoint = nullptr;
    Steinberg::Vst::IConnectionPoint* controllerPoint = nullptr;
    juce::String error;
};
