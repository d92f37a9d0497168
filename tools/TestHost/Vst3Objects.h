#pragma once

#include <pluginterfaces/base/ipluginbase.h>

#include <cstring>

/** A VST3 module's objects, made and asked for their interfaces as a host does; shared by the
    test host and the fuzz targets that load the plug-in's VST3 client. */
struct Vst3Objects
{
    /** The first class of the category that the factory makes with the interface; nullptr when none. */
    template <typename Interface>
    static Interface* create (Steinberg::IPluginFactory& factory, const char* category)
    {
        for (Steinberg::int32 i = 0; i < factory.countClasses(); ++i)
        {
            Steinberg::PClassInfo info {};
            void* object = nullptr;

            if (factory.getClassInfo (i, &info) == Steinberg::kResultOk && std::strcmp (info.category, category) == 0
                && factory.createInstance (info.cid, Interface::iid, &object) == Steinberg::kResultOk)
                return static_cast<Interface*> (object);
        }

        return nullptr;
    }

    /** The object's interface, with a reference the caller releases; nullptr when it has none. */
    template <typename Interface>
    static Interface* query (Steinberg::FUnknown& object)
    {
        void* result = nullptr;
        return object.queryInterface (Interface::iid, &result) == Steinberg::kResultOk ? static_cast<Interface*> (result) : nullptr;
    }
};
