// libFuzzer target: any bytes a DAW hands to the plug-in's VST3 component as the saved state of a
// project (IComponent::setState) must load or be refused without a crash, an out-of-bounds read
// or undefined behaviour. The bytes pass through the framework's VST3 client (built from the same
// patched copy as the bundle, so its trailer handling is covered) and then the processor's loader.

#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>

extern "C" Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory();

namespace
{
using namespace Steinberg;

/** A read-only stream over the input, with a size, as hosts hand a project's state to a plug-in. */
class InputStream : public IBStream, public ISizeableStream
{
public:
    InputStream (const std::uint8_t* dataToUse, size_t sizeToUse) : data (dataToUse), size ((int64) sizeToUse) {}

    tresult PLUGIN_API queryInterface (const TUID iid, void** object) override
    {
        if (FUnknownPrivate::iidEqual (iid, FUnknown_iid) || FUnknownPrivate::iidEqual (iid, IBStream_iid))
            *object = static_cast<IBStream*> (this);
        else if (FUnknownPrivate::iidEqual (iid, ISizeableStream_iid))
            *object = static_cast<ISizeableStream*> (this);
        else
        {
            *object = nullptr;
            return kNoInterface;
        }

        return kResultOk;
    }

    // Lives on the stack for one call: reference counts do not own it.
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    tresult PLUGIN_API read (void* buffer, int32 numBytes, int32* numBytesRead) override
    {
        const auto n = numBytes > 0 ? std::min ((int64) numBytes, size - position) : 0;

        if (n > 0)
            std::memcpy (buffer, data + position, (size_t) n);

        position += n;

        if (numBytesRead != nullptr)
            *numBytesRead = (int32) n;

        return kResultOk;
    }

    tresult PLUGIN_API write (void*, int32, int32*) override { return kNotImplemented; }

    tresult PLUGIN_API seek (int64 pos, int32 mode, int64* result) override
    {
        const auto base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : size;
        const auto target = base + pos;

        if (target < 0 || target > size)
            return kInvalidArgument;

        position = target;

        if (result != nullptr)
            *result = position;

        return kResultTrue;
    }

    tresult PLUGIN_API tell (int64* pos) override
    {
        if (pos != nullptr)
            *pos = position;

        return kResultTrue;
    }

    tresult PLUGIN_API getStreamSize (int64& streamSize) override
    {
        streamSize = size;
        return kResultOk;
    }

    tresult PLUGIN_API setStreamSize (int64) override { return kNotImplemented; }

private:
    const std::uint8_t* data;
    int64 size;
    int64 position = 0;
};

/** The plug-in's audio component, created through the factory as a host creates it. Never
    released: at exit the framework's own statics may already be gone. */
Vst::IComponent* createComponent()
{
    auto* factory = GetPluginFactory();

    for (int32 i = 0; factory != nullptr && i < factory->countClasses(); ++i)
    {
        PClassInfo info {};

        if (factory->getClassInfo (i, &info) != kResultOk || std::strcmp (info.category, kVstAudioEffectClass) != 0)
            continue;

        void* object = nullptr;

        if (factory->createInstance (info.cid, Vst::IComponent_iid, &object) == kResultOk && object != nullptr)
        {
            auto* component = static_cast<Vst::IComponent*> (object);
            component->initialize (nullptr);
            return component;
        }
    }

    std::cerr << "the factory offers no audio component" << std::endl;
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    static auto* component = createComponent();

    InputStream stream (data, size);
    component->setState (&stream);
    return 0;
}
