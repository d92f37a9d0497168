#pragma once

#include "Vst3Instance.h"

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

    bool isOpen() const { return instance != nullptr && instance->isOpen(); }
    const juce::String& getError() const { return error; }

    Steinberg::Vst::IComponent& getComponent() const { return instance->getComponent(); }
    Steinberg::Vst::IEditController& getController() const { return instance->getController(); }
    Steinberg::IPluginFactory& getFactory() const { return *factory; }

    /** The host's application object that the module's objects were initialised with, for more
        instances of the plug-in (Vst3Instance); it lives as long as the module. */
    Steinberg::FUnknown* getHostContext() const;

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
    std::unique_ptr<Vst3Instance> instance;
    juce::String error;
};
