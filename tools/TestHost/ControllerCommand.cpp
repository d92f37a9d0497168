#include "ControllerCommand.h"

#include "TestHost.h"

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <cmath>
#include <cstring>
#include <limits>

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

template <typename Interface>
Interface* create (IPluginFactory& factory, const char* category, const TUID iid)
{
    for (int32 i = 0; i < factory.countClasses(); ++i)
    {
        PClassInfo info {};
        void* object = nullptr;

        if (factory.getClassInfo (i, &info) == kResultOk && std::strcmp (info.category, category) == 0
            && factory.createInstance (info.cid, iid, &object) == kResultOk)
            return static_cast<Interface*> (object);
    }

    return nullptr;
}

juce::String printed (double value)
{
    return std::isnan (value) ? juce::String ("nan") : juce::String (value, 9);
}
} // namespace

int ControllerCommand::run (const juce::StringArray& args)
{
    juce::StringArray positional, sets;

    for (int i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--set" && i + 1 < args.size())
            sets.add (args[++i]);
        else
            positional.add (args[i]);
    }

    if (positional.isEmpty())
    {
        TestHost::fail ("usage: controller <bundle> [--set id=value]...");
        return 2;
    }

    const auto library = sharedLibraryOf (juce::File::getCurrentWorkingDirectory().getChildFile (positional[0]));
    juce::DynamicLibrary module;

    if (library == juce::File() || ! module.open (library.getFullPathName()))
    {
        TestHost::fail ("cannot open the bundle's library in " + positional[0]);
        return 1;
    }

    using EntryProc = bool (*) (void*);
    using ExitProc = bool (*)();
    using FactoryProc = IPluginFactory* (PLUGIN_API*)();
    const auto entry = (EntryProc) module.getFunction ("ModuleEntry");
    const auto exit = (ExitProc) module.getFunction ("ModuleExit");
    const auto getFactory = (FactoryProc) module.getFunction ("GetPluginFactory");

    if (entry == nullptr || exit == nullptr || getFactory == nullptr || ! entry (module.getNativeHandle()))
    {
        TestHost::fail ("the library lacks the VST3 entry points");
        return 1;
    }

    int result = 1;

    if (auto* factory = getFactory())
    {
        auto* component = create<Vst::IComponent> (*factory, kVstAudioEffectClass, Vst::IComponent::iid);
        auto* controller = create<Vst::IEditController> (*factory, kVstComponentControllerClass, Vst::IEditController::iid);

        if (component != nullptr && controller != nullptr)
        {
            component->initialize (nullptr);
            controller->initialize (nullptr);

            FUnknownPtr<Vst::IConnectionPoint> componentPoint (component), controllerPoint (controller);

            if (componentPoint != nullptr && controllerPoint != nullptr)
            {
                componentPoint->connect (controllerPoint);
                controllerPoint->connect (componentPoint);
            }

            result = 0;

            for (const auto& set : sets)
            {
                const auto id = set.upToFirstOccurrenceOf ("=", false, false);
                const auto text = set.fromFirstOccurrenceOf ("=", false, false).trim();
                const auto value = text.equalsIgnoreCase ("nan") ? std::numeric_limits<double>::quiet_NaN() : text.getDoubleValue();
                controller->setParamNormalized ((Vst::ParamID) TestHost::vst3ParameterNumber (id).getLargeIntValue(), value);
            }

            for (int32 i = 0; i < controller->getParameterCount(); ++i)
            {
                Vst::ParameterInfo info {};

                if (controller->getParameterInfo (i, info) == kResultOk)
                    TestHost::print ("controller." + juce::String (info.id) + "=" + printed (controller->getParamNormalized (info.id)));
            }

            if (componentPoint != nullptr && controllerPoint != nullptr)
            {
                controllerPoint->disconnect (componentPoint);
                componentPoint->disconnect (controllerPoint);
            }

            controller->terminate();
            component->terminate();
        }
        else
        {
            TestHost::fail ("the factory offers no audio component and edit controller");
        }

        if (controller != nullptr)
            controller->release();

        if (component != nullptr)
            component->release();

        factory->release();
    }

    exit();
    return result;
}
