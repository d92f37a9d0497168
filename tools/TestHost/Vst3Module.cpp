#include "Vst3Module.h"

#include <public.sdk/source/common/memorystream.h>

// The SDK's string class, under its host classes, trips a warning of its own.
JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wextra")
#include <public.sdk/source/vst/hosting/hostclasses.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE


namespace
{
using namespace Steinberg;

/** The bundle's shared library: Contents/<architecture>-linux/<name>.so. */
juce::File sharedLibraryOf (const juce::File& bundle)
{
    for (const auto& folder : bundle.getChildFile ("Contents").findChildFiles (juce::File::findDirectories, false, "*-linux"))
        for (const auto& library : folder.findChildFiles (juce::File::findFiles, false, "*.so"))
            return library;

    return {};
}
} // namespace

Vst3Module::Vst3Module (const juce::String& bundlePath)
{
    if (! open (bundlePath))
        instance.reset();
}

bool Vst3Module::open (const juce::String& bundlePath)
{
    const auto file = sharedLibraryOf (juce::File::getCurrentWorkingDirectory().getChildFile (bundlePath));

    if (file == juce::File() || ! library.open (file.getFullPathName()))
    {
        error = "cannot open the bundle's library in " + bundlePath;
        return false;
    }

    using EntryProc = bool (*) (void*);
    using FactoryProc = IPluginFactory* (PLUGIN_API*)();
    const auto entry = (EntryProc) library.getFunction ("ModuleEntry");
    const auto exit = (bool (*)()) library.getFunction ("ModuleExit");
    const auto getFactory = (FactoryProc) library.getFunction ("GetPluginFactory");

    if (entry == nullptr || exit == nullptr || getFactory == nullptr || ! entry (library.getNativeHandle()))
    {
        error = "the library lacks the VST3 entry points";
        return false;
    }

    moduleExit = exit;
    factory = getFactory();

    if (factory == nullptr)
    {
        error = "the library gives no factory";
        return false;
    }

    // A DAW hands both its application object, through which they make their messages. The
    // SDK's one counts no references: the host owns it and deletes it after both have gone.
    hostContext = std::make_unique<Vst::HostApplication>();
    instance = std::make_unique<Vst3Instance> (*factory, hostContext.get());
    error = instance->getError();
    return instance->isOpen();
}

Vst3Module::~Vst3Module()
{
    instance.reset();
    hostContext.reset();

    if (factory != nullptr)
        factory->release();

    if (moduleExit != nullptr)
        moduleExit();
}

FUnknown* Vst3Module::getHostContext() const
{
    return hostContext.get();
}

juce::MemoryBlock Vst3Module::componentState() const
{
    MemoryStream stream;

    if (getComponent().getState (&stream) != kResultOk)
        return {};

    return { stream.getData(), (size_t) stream.getSize() };
}

bool Vst3Module::restoreComponentState (const juce::MemoryBlock& state) const
{
    juce::MemoryBlock copy (state);
    MemoryStream forComponent (copy.getData(), (TSize) copy.getSize());

    if (getComponent().setState (&forComponent) != kResultOk)
        return false;

    // The SDK's base controller answers "not implemented" after reading what it needs, so only
    // the component's answer counts, as in a DAW.
    MemoryStream forController (copy.getData(), (TSize) copy.getSize());
    getController().setComponentState (&forController);
    return true;
}
