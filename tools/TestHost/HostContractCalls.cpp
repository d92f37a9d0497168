#include "HostContractCalls.h"

#include "CallAnswers.h"
#include "TestHost.h"
#include "Vst3Instance.h"
#include "Vst3Module.h"
#include "Vst3Objects.h"

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstchannelcontextinfo.h>
#include <pluginterfaces/vst/ivstmidicontrollers.h>
#include <pluginterfaces/vst/ivstunits.h>
#include <pluginterfaces/vst/vstspeaker.h>

// The SDK's string class, under its host classes, trips a warning of its own.
JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wextra")
#include <public.sdk/source/vst/hosting/hostclasses.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <tuple>
#include <vector>

namespace
{
using namespace Steinberg;

constexpr auto int32Max = std::numeric_limits<int32>::max();
constexpr auto int32Min = std::numeric_limits<int32>::min();

/** A reference to nothing, as a host written without references hands a null pointer where an
    interface takes one. Read through a volatile so that neither compiler side assumes it valid. */
template <typename T>
T& nullReference()
{
    T* volatile none = nullptr;
    return *none;
}

juce::String text (const Vst::String128 string)
{
    const auto end = std::find (string, string + 128, (Vst::TChar) 0);
    return end == string + 128 ? juce::String ("<unterminated>")
                               : juce::String (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (string)));
}

void copyText (const juce::String& from, Vst::String128 to)
{
    std::fill (to, to + 128, (Vst::TChar) 0);
    from.copyToUTF16 (reinterpret_cast<juce::CharPointer_UTF16::CharType*> (to), 127 * sizeof (Vst::TChar));
}

/** A text of that many characters, terminated, as the SDK's attribute lists take one. */
std::vector<Vst::TChar> textOfLength (int characters)
{
    std::vector<Vst::TChar> text ((size_t) characters, (Vst::TChar) 'a');
    text.push_back (0);
    return text;
}

/** The SDK's own message, holding one int or one string attribute (none when the name is null). */
IPtr<Vst::IMessage> sdkMessage (const char* id, const char* attribute, const std::vector<Vst::TChar>& text, int64 value = 0)
{
    auto message = owned (static_cast<Vst::IMessage*> (new Vst::HostMessage()));
    message->setMessageID (id);

    if (attribute != nullptr && text.empty())
        message->getAttributes()->setInt (attribute, value);
    else if (attribute != nullptr)
        message->getAttributes()->setString (attribute, text.data());

    return message;
}

/** queryInterface of a host object that offers one interface (and FUnknown). */
template <typename Interface>
tresult queryHostObject (Interface& offered, const TUID iid, void** object)
{
    if (FUnknownPrivate::iidEqual (iid, Interface::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
    {
        *object = &offered;
        return kResultOk;
    }

    *object = nullptr;
    return kNoInterface;
}

/** A message as a careless host's own message class may hand one: an ID and no attribute list.
    The host owns it; it counts no references. */
class MessageWithoutAttributes final : public Vst::IMessage
{
public:
    explicit MessageWithoutAttributes (const char* idToGive) : id (idToGive) {}

    const char* PLUGIN_API getMessageID() override { return id; }
    void PLUGIN_API setMessageID (const char*) override {}
    Vst::IAttributeList* PLUGIN_API getAttributes() override { return nullptr; }

    tresult PLUGIN_API queryInterface (const TUID iid, void** object) override
    {
        return queryHostObject<Vst::IMessage> (*this, iid, object);
    }

    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    const char* id;
};

/** A host's own connection point that a controller is connected to instead of its component (a
    proxy between them, as some hosts have): it keeps the pointer a controller that finds no
    component behind the point sends of itself, for the host to hand the component. The host owns
    it; it counts no references. */
class RecordingConnectionPoint final : public Vst::IConnectionPoint
{
public:
    tresult PLUGIN_API connect (IConnectionPoint* other) override { return other != nullptr ? kResultOk : kInvalidArgument; }
    tresult PLUGIN_API disconnect (IConnectionPoint* other) override { return other != nullptr ? kResultOk : kInvalidArgument; }

    tresult PLUGIN_API notify (Vst::IMessage* message) override
    {
        if (message == nullptr)
            return kInvalidArgument;

        const auto* id = message->getMessageID();
        auto* attributes = message->getAttributes();

        if (id != nullptr && std::strcmp (id, controllerAttribute) == 0 && attributes != nullptr
            && attributes->getInt (controllerAttribute, controller) == kResultOk)
            received = true;

        return kResultOk;
    }

    tresult PLUGIN_API queryInterface (const TUID iid, void** object) override
    {
        return queryHostObject<Vst::IConnectionPoint> (*this, iid, object);
    }

    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    // The attribute and message ID under which the framework's controller introduces itself.
    static constexpr const char* controllerAttribute = "JuceVST3EditController";

    bool received = false;
    int64 controller = 0;
};

class Battery
{
public:
    explicit Battery (const Vst3Module& moduleToUse) : module (moduleToUse), controller (moduleToUse.getController()) {}

    void run()
    {
        collectParameters();
        callController();
        callUnitInfo ("controller", &controller);
        callUnitInfo ("component", &module.getComponent());
        callMidiMapping();
        callComponent();
        callBuses();
        callMessages();
        callFactory();
        callValid();
        readTexts();
        writeTexts();
        TestHost::print ("contract.thrown=" + juce::String (answers.getThrown()));
    }

private:
    void answer (const juce::String& name, const std::function<tresult()>& call) { answers.answer (name, call); }

    template <typename Call>
    bool withoutException (Call&& call) { return answers.withoutException (std::forward<Call> (call)); }

    void collectParameters()
    {
        for (int32 i = 0; i < controller.getParameterCount(); ++i)
        {
            Vst::ParameterInfo info {};

            if (controller.getParameterInfo (i, info) == kResultOk)
                ids.push_back (info.id);
        }

        TestHost::print ("contract.parameters=" + juce::String ((int) ids.size()));
    }

    void callController()
    {
        const auto count = controller.getParameterCount();

        for (const auto index : { -1, count, count + 1, 1000, int32Max, int32Min })
            answer ("parameterInfo." + juce::String (index), [&] { Vst::ParameterInfo info {}; return controller.getParameterInfo (index, info); });

        answer ("parameterInfo.nullInfo", [&] { return controller.getParameterInfo (0, nullReference<Vst::ParameterInfo>()); });
        answer ("stringByValue.nullString", [&] { return controller.getParamStringByValue (ids.front(), 0.5, nullptr); });
        answer ("stringByValue.unknownId", [&] { Vst::String128 s {}; return controller.getParamStringByValue (unknownId(), 0.5, s); });
        answer ("valueByString.nullString", [&] { Vst::ParamValue v = 0; return controller.getParamValueByString (ids.front(), nullptr, v); });
        answer ("valueByString.nullValue", [&]
        {
            Vst::String128 s {};
            copyText ("0.5", s);
            return controller.getParamValueByString (ids.front(), s, nullReference<Vst::ParamValue>());
        });
        answer ("valueByString.unknownId", [&]
        {
            Vst::String128 s {};
            copyText ("0.5", s);
            Vst::ParamValue v = 0;
            return controller.getParamValueByString (unknownId(), s, v);
        });
        answer ("setComponentState.null", [&] { return controller.setComponentState (nullptr); });
        answer ("setState.null", [&] { return controller.setState (nullptr); });
        answer ("getState.null", [&] { return controller.getState (nullptr); });
        answer ("setParamNormalized.unknownId", [&] { return controller.setParamNormalized (unknownId(), 0.5); });

        if (FUnknownPtr<Vst::ChannelContext::IInfoListener> listener (&controller); listener != nullptr)
            answer ("channelContext.null", [&] { return listener->setChannelContextInfos (nullptr); });

        if (FUnknownPtr<Vst::IConnectionPoint> point (&controller); point != nullptr)
            answer ("controllerNotify.null", [&] { return point->notify (nullptr); });
    }

    void callUnitInfo (const juce::String& side, FUnknown* object)
    {
        FUnknownPtr<Vst::IUnitInfo> units (object);

        if (units == nullptr)
            return;

        const auto name = [&] (const juce::String& call) { return side + "Units." + call; };
        const auto unitCount = units->getUnitCount();

        for (const auto index : { -1, unitCount, int32Max, int32Min })
            answer (name ("unitInfo." + juce::String (index)), [&] { Vst::UnitInfo info {}; return units->getUnitInfo (index, info); });

        answer (name ("unitInfo.nullInfo"), [&] { return units->getUnitInfo (0, nullReference<Vst::UnitInfo>()); });

        const auto listCount = units->getProgramListCount();

        for (const auto index : { -1, listCount, int32Max, int32Min })
            answer (name ("programListInfo." + juce::String (index)), [&] { Vst::ProgramListInfo info {}; return units->getProgramListInfo (index, info); });

        answer (name ("programListInfo.nullInfo"), [&] { return units->getProgramListInfo (0, nullReference<Vst::ProgramListInfo>()); });

        Vst::ProgramListInfo list {};
        const auto listId = units->getProgramListInfo (0, list) == kResultOk ? list.id : Vst::kNoProgramListId;

        for (const auto index : { -1, list.programCount, int32Max, int32Min })
            answer (name ("programName." + juce::String (index)), [&] { Vst::String128 s {}; return units->getProgramName (listId, index, s); });

        answer (name ("programName.unknownList"), [&] { Vst::String128 s {}; return units->getProgramName (listId + 1, 0, s); });
        answer (name ("programName.nullName"), [&] { return units->getProgramName (listId, 0, nullptr); });
        answer (name ("programInfo.nullStrings"), [&] { return units->getProgramInfo (listId, 0, nullptr, nullptr); });
        answer (name ("programPitchName.nullName"), [&] { return units->getProgramPitchName (listId, 0, 60, nullptr); });
        answer (name ("unitProgramData.nullStream"), [&] { return units->setUnitProgramData (listId, 0, nullptr); });
        answer (name ("unitByBus.nullUnit"), [&] { return units->getUnitByBus (Vst::kAudio, Vst::kInput, 0, 0, nullReference<Vst::UnitID>()); });

        for (const auto& [bus, channel] : std::vector<std::pair<int32, int32>> { { -1, 0 }, { 1, 0 }, { int32Max, 0 }, { 0, -1 }, { 0, 2 }, { 0, int32Min } })
            answer (name ("unitByBus." + juce::String (bus) + "." + juce::String (channel)),
                    [&, bus = bus, channel = channel] { Vst::UnitID unit = 0; return units->getUnitByBus (Vst::kAudio, Vst::kOutput, bus, channel, unit); });

        // Buses the plug-in does not have: no event buses, media types and directions the SDK does not define.
        for (const auto& [busName, type, direction] : std::vector<std::tuple<juce::String, Vst::MediaType, Vst::BusDirection>> {
                 { "event.input", Vst::kEvent, Vst::kInput }, { "event.output", Vst::kEvent, Vst::kOutput },
                 { "type7", 7, Vst::kOutput }, { "type-1", -1, Vst::kOutput }, { "direction5", Vst::kAudio, 5 }, { "direction-1", Vst::kAudio, -1 } })
            answer (name ("unitByBus." + busName),
                    [&, type = type, direction = direction] { Vst::UnitID unit = 0; return units->getUnitByBus (type, direction, 0, 0, unit); });
    }

    void callMidiMapping()
    {
        FUnknownPtr<Vst::IMidiMapping> mapping (&controller);

        if (mapping == nullptr)
            return;

        for (const auto& [bus, channel, number] : std::vector<std::tuple<int32, int16, int16>> {
                 { -1, 0, 7 }, { 1, 0, 7 }, { 0, -1, 7 }, { 0, 16, 7 }, { 0, 0, -1 }, { 0, 0, Vst::kCountCtrlNumber }, { int32Min, -32768, 32767 } })
            answer ("midiMapping." + juce::String (bus) + "." + juce::String (channel) + "." + juce::String (number),
                    [&, bus = bus, channel = channel, number = number] { Vst::ParamID id = 0; return mapping->getMidiControllerAssignment (bus, channel, number, id); });

        answer ("midiMapping.nullId", [&] { return mapping->getMidiControllerAssignment (0, 0, 7, nullReference<Vst::ParamID>()); });
    }

    void callComponent()
    {
        auto& component = module.getComponent();
        answer ("busInfo.nullInfo", [&] { return component.getBusInfo (Vst::kAudio, Vst::kInput, 0, nullReference<Vst::BusInfo>()); });
        answer ("controllerClassId.null", [&] { return component.getControllerClassId (nullptr); });

        if (FUnknownPtr<Vst::IConnectionPoint> point (&component); point != nullptr)
            answer ("componentNotify.null", [&] { return point->notify (nullptr); });

        FUnknownPtr<Vst::IAudioProcessor> processor (&component);

        if (processor == nullptr)
            return;

        answer ("busArrangement.nullArrangement", [&] { return processor->getBusArrangement (Vst::kInput, 0, nullReference<Vst::SpeakerArrangement>()); });

        // Bits the SDK defines no speaker for, alone and beside a stereo pair.
        for (const auto& [name, arrangement] : std::vector<std::pair<juce::String, Vst::SpeakerArrangement>> {
                 { "all", ~(Vst::SpeakerArrangement) 0 },
                 { "bit63", ((Vst::SpeakerArrangement) 1 << 63) | Vst::SpeakerArr::kStereo },
                 { "bit61", ((Vst::SpeakerArrangement) 1 << 61) | Vst::SpeakerArr::kStereo } })
        {
            answer ("busArrangements." + name, [&, arrangement = arrangement]
            {
                auto in = arrangement, out = arrangement;
                return processor->setBusArrangements (&in, 1, &out, 1);
            });
        }

        answer ("busArrangements.nullArrays", [&] { return processor->setBusArrangements (nullptr, 1, nullptr, 1); });
        answer ("busArrangements.negativeCounts", [&]
        {
            auto stereo = Vst::SpeakerArr::kStereo;
            return processor->setBusArrangements (&stereo, -1, &stereo, int32Min);
        });
    }

    /** Directions the SDK does not define (it has input 0 and output 1), a media type it does not
        define, and more buses than the plug-in has. */
    void callBuses()
    {
        auto& component = module.getComponent();
        FUnknownPtr<Vst::IAudioProcessor> processor (&component);

        for (const auto direction : { 5, -1 })
        {
            const auto name = "direction" + juce::String (direction);
            answer ("busInfo." + name, [&] { Vst::BusInfo info {}; return component.getBusInfo (Vst::kAudio, direction, 0, info); });
            // Refused, it must leave the real buses as they were: the play afterwards shows it.
            answer ("activateBus." + name, [&] { return component.activateBus (Vst::kAudio, direction, 0, false); });
            printCount ("busCount.audio." + name, [&] { return component.getBusCount (Vst::kAudio, direction); });

            if (processor != nullptr)
                answer ("busArrangement." + name, [&] { Vst::SpeakerArrangement arrangement = 0; return processor->getBusArrangement (direction, 0, arrangement); });
        }

        printCount ("busCount.type7.input", [&] { return component.getBusCount (7, Vst::kInput); });

        if (processor != nullptr)
        {
            answer ("busArrangements.twoBuses", [&]
            {
                Vst::SpeakerArrangement in[] { Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo };
                Vst::SpeakerArrangement out[] { Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo };
                return processor->setBusArrangements (in, 2, out, 2);
            });
        }
    }

    /** Messages no component or controller sends: a pointer to no controller, a message with no
        attribute list, a message with no ID. */
    void callMessages()
    {
        // A component of its own, which no controller has introduced itself to yet.
        if (auto* fresh = Vst3Objects::create<Vst::IComponent> (module.getFactory(), kVstAudioEffectClass))
        {
            if (auto* point = Vst3Objects::query<Vst::IConnectionPoint> (*fresh))
            {
                answer ("componentNotify.forgedController", [&]
                {
                    return point->notify (sdkMessage (RecordingConnectionPoint::controllerAttribute, RecordingConnectionPoint::controllerAttribute, {}, 0x4141414141));
                });

                point->release();
            }

            fresh->release();
        }

        FUnknownPtr<Vst::IConnectionPoint> point (&controller);

        if (point == nullptr)
            return;

        MessageWithoutAttributes textWithoutAttributes ("TextMessage");
        answer ("controllerNotify.noAttributes", [&] { return point->notify (&textWithoutAttributes); });
        answer ("controllerNotify.noMessageId", [&] { return point->notify (sdkMessage (nullptr, "Text", textOfLength (10))); });
    }

    /** Calls within the contract that the plug-in must take: printed as contract.valid.<call>. */
    void callValid()
    {
        // Texts as long as a String128 holds and longer: the SDK's attribute list copies at most
        // the buffer, without a terminator when the text fills it.
        if (FUnknownPtr<Vst::ChannelContext::IInfoListener> listener (&controller); listener != nullptr)
        {
            for (const auto length : { 127, 128, 300 })
            {
                answer ("valid.channelContext.name" + juce::String (length), [&]
                {
                    auto list = owned (static_cast<Vst::IAttributeList*> (new Vst::HostAttributeList()));
                    list->setString (Vst::ChannelContext::kChannelNameKey, textOfLength (length).data());
                    return listener->setChannelContextInfos (list);
                });
            }
        }

        if (FUnknownPtr<Vst::IConnectionPoint> point (&controller); point != nullptr)
            for (const auto length : { 300, 10 })
                answer ("valid.controllerNotify.text" + juce::String (length), [&] { return point->notify (sdkMessage ("TextMessage", "Text", textOfLength (length))); });

        callThroughProxy();
    }

    /** A controller and a component connected through a point of the host's own: the controller
        sends the point its pointer, which the host hands the component. */
    void callThroughProxy()
    {
        RecordingConnectionPoint proxy; // before the instance, which may call it until it goes
        const Vst3Instance fresh (module.getFactory(), module.getHostContext(), Vst3Instance::Connection::none);

        if (! fresh.isOpen())
            return;

        auto* controllerPoint = Vst3Objects::query<Vst::IConnectionPoint> (fresh.getController());
        auto* componentPoint = Vst3Objects::query<Vst::IConnectionPoint> (fresh.getComponent());

        if (controllerPoint != nullptr && componentPoint != nullptr)
        {
            withoutException ([&] { controllerPoint->connect (&proxy); });
            TestHost::print ("contract.proxyMessage=" + juce::String (proxy.received ? 1 : 0));

            if (proxy.received)
                answer ("valid.componentNotify.liveController", [&]
                {
                    return componentPoint->notify (sdkMessage (RecordingConnectionPoint::controllerAttribute, RecordingConnectionPoint::controllerAttribute, {}, proxy.controller));
                });

            withoutException ([&] { controllerPoint->disconnect (&proxy); });
        }

        if (controllerPoint != nullptr)
            controllerPoint->release();

        if (componentPoint != nullptr)
            componentPoint->release();
    }

    /** A count, printed as a number (or "threw"). */
    void printCount (const juce::String& name, const std::function<int32()>& call)
    {
        int32 count = 0;
        const auto returned = withoutException ([&] { count = call(); });
        TestHost::print ("contract." + name + "=" + (returned ? juce::String (count) : juce::String ("threw")));
    }

    void callFactory()
    {
        auto& factory = module.getFactory();
        const auto count = factory.countClasses();

        for (const auto index : { -1, count, int32Max, int32Min })
        {
            answer ("classInfo." + juce::String (index), [&] { PClassInfo info {}; return factory.getClassInfo (index, &info); });

            if (FUnknownPtr<IPluginFactory2> factory2 (&factory); factory2 != nullptr)
                answer ("classInfo2." + juce::String (index), [&] { PClassInfo2 info {}; return factory2->getClassInfo2 (index, &info); });

            if (FUnknownPtr<IPluginFactory3> factory3 (&factory); factory3 != nullptr)
                answer ("classInfoUnicode." + juce::String (index), [&] { PClassInfoW info {}; return factory3->getClassInfoUnicode (index, &info); });
        }

        PClassInfo first {};
        factory.getClassInfo (0, &first);
        answer ("createInstance.nullClass", [&] { void* object = nullptr; return factory.createInstance (nullptr, FUnknown::iid, &object); });
        answer ("createInstance.nullInterface", [&] { void* object = nullptr; return factory.createInstance (first.cid, nullptr, &object); });
        answer ("createInstance.nullObject", [&] { return factory.createInstance (first.cid, FUnknown::iid, nullptr); });
    }

    /** getParamValueByString over texts that read as no number, as a number beyond any range or
        as nothing: every value answered ok must be finite and within 0..1. */
    void readTexts()
    {
        int calls = 0, accepted = 0, outside = 0, nanAccepted = 0;

        for (const auto id : ids)
        {
            for (const auto* t : { "nan", "NaN %", "-nan", "NAN Hz", "inf", "-inf", "infinity", "1e309", "-1e309", "1e-320",
                                   "2", "-1", "", "garbage", "0.5", "50 %" })
            {
                Vst::String128 s {};
                copyText (t, s);
                Vst::ParamValue value = -7.0;
                ++calls;

                withoutException ([&]
                {
                    if (controller.getParamValueByString (id, s, value) != kResultOk)
                        return;

                    ++accepted;
                    outside += (std::isfinite (value) && value >= 0.0 && value <= 1.0) ? 0 : 1;
                    nanAccepted += juce::String (t).containsIgnoreCase ("nan") ? 1 : 0;
                });
            }
        }

        TestHost::print ("contract.texts=" + juce::String (calls));
        TestHost::print ("contract.texts.accepted=" + juce::String (accepted));
        TestHost::print ("contract.texts.outside=" + juce::String (outside));
        TestHost::print ("contract.texts.nanAccepted=" + juce::String (nanAccepted));
    }

    /** getParamStringByValue with values that are not numbers or lie outside 0..1: NaN is
        refused, a value outside reads as the nearest end of the range, every text is terminated. */
    void writeTexts()
    {
        constexpr auto infinity = std::numeric_limits<double>::infinity();
        int calls = 0, nanAccepted = 0, unclamped = 0, unterminated = 0;

        for (const auto id : ids)
        {
            Vst::String128 low {}, high {};
            controller.getParamStringByValue (id, 0.0, low);
            controller.getParamStringByValue (id, 1.0, high);

            for (const auto value : { std::numeric_limits<double>::quiet_NaN(), -infinity, infinity, -1.0, 2.0, 1e308, -1e308 })
            {
                Vst::String128 s;
                std::fill (s, s + 128, (Vst::TChar) 'x');
                ++calls;

                withoutException ([&]
                {
                    if (controller.getParamStringByValue (id, value, s) != kResultOk)
                        return;

                    unterminated += text (s) == "<unterminated>" ? 1 : 0;
                    nanAccepted += std::isnan (value) ? 1 : 0;

                    if (! std::isnan (value) && text (s) != text (value < 0.0 ? low : high))
                        ++unclamped;
                });
            }
        }

        TestHost::print ("contract.valueTexts=" + juce::String (calls));
        TestHost::print ("contract.valueTexts.nanAccepted=" + juce::String (nanAccepted));
        TestHost::print ("contract.valueTexts.unclamped=" + juce::String (unclamped));
        TestHost::print ("contract.valueTexts.unterminated=" + juce::String (unterminated));
    }

    /** An id no parameter has: one more than the largest. */
    Vst::ParamID unknownId() const
    {
        Vst::ParamID largest = 0;

        for (const auto id : ids)
            largest = juce::jmax (largest, id);

        return largest + 1;
    }

    const Vst3Module& module;
    Vst::IEditController& controller;
    std::vector<Vst::ParamID> ids;
    CallAnswers answers { "contract." };
};
} // namespace

void HostContractCalls::run (const Vst3Module& module)
{
    Battery (module).run();
}
