#pragma once

#include <juce_core/juce_core.h>

#include <pluginterfaces/vst/ivstparameterchanges.h>

#include <array>
#include <vector>

/** One process call's parameter changes as a DAW hands them over (IParameterChanges): a queue of
    (sample offset, normalised value) points per parameter. The storage is sized once, so filling
    and reading it on the audio thread allocates nothing. The plug-in's output changes use one too;
    what it adds there is accepted and dropped at the next clear(). */
class HostParameterChanges : public Steinberg::Vst::IParameterChanges
{
public:
    /** Room for this many points in each of up to maxParameters queues. */
    explicit HostParameterChanges (int pointsPerQueue);

    /** Empties every queue, for the next call. */
    void clear() noexcept;

    /** Adds a point to the parameter's queue (made on first use). A point at an offset the queue
        already holds replaces its value, as in the SDK's own queue. False when there is no room. */
    bool add (Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value) noexcept;

    /** Starts a queue of its own for the parameter, whatever queues it has, which reports
        `claimed` as its point count, as a careless host may; add() never puts points into it.
        False when there is no room. */
    bool addRaw (Steinberg::Vst::ParamID id, Steinberg::int32 claimed) noexcept;

    /** Appends a point as given (offsets unchecked, in the order appended) to the queue addRaw()
        started last. False when there is no room. */
    bool appendRaw (Steinberg::int32 offset, double value) noexcept;

    /** Starts a queue of its own for the parameter with a point at every offset from 0 to
        points - 1, its values running from `first` to `last`, worked out as they are asked for.
        False when there is no room. */
    bool addRamp (Steinberg::Vst::ParamID id, Steinberg::int32 points, double first, double last) noexcept;

    /** Until the next clear(), getParameterCount() reports `claimed`, as a careless host may; beyond
        the queues it holds, getParameterData() gives nothing, or with `repeatLast` its last queue. */
    void claimQueues (Steinberg::int32 claimed, bool repeatLast) noexcept;

    Steinberg::int32 PLUGIN_API getParameterCount() override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData (Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData (const Steinberg::Vst::ParamID& id, Steinberg::int32& index) override;

    // Owned by the host for the length of the run, so counting references is not needed.
    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    static constexpr int maxParameters = 64;

private:
    class Queue : public Steinberg::Vst::IParamValueQueue
    {
    public:
        void reset (Steinberg::Vst::ParamID newId) noexcept;
        void reserve (int points) { storage.resize ((size_t) points); }
        void makeRaw (Steinberg::int32 claimedCount) noexcept { claimed = claimedCount; }
        void makeRamp (Steinberg::int32 points, double first, double last) noexcept;
        bool append (Steinberg::int32 offset, double value) noexcept;
        bool isRaw() const noexcept { return claimed >= 0; }

        Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id; }
        Steinberg::int32 PLUGIN_API getPointCount() override { return rampPoints > 0 ? rampPoints : isRaw() ? claimed : count; }
        Steinberg::tresult PLUGIN_API getPoint (Steinberg::int32 index, Steinberg::int32& offset, Steinberg::Vst::ParamValue& value) override;
        Steinberg::tresult PLUGIN_API addPoint (Steinberg::int32 offset, Steinberg::Vst::ParamValue value, Steinberg::int32& index) override;

        Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** object) override;
        Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
        Steinberg::uint32 PLUGIN_API release() override { return 1; }

    private:
        struct Point
        {
            Steinberg::int32 offset;
            double value;
        };

        Steinberg::Vst::ParamID id = 0;
        Steinberg::int32 count = 0;
        Steinberg::int32 claimed = -1; // the count reported, if not `count`
        Steinberg::int32 rampPoints = 0; // a generated ramp's points, if any
        double rampFirst = 0.0, rampLast = 0.0;
        std::vector<Point> storage;
    };

    std::array<Queue, maxParameters> queues;
    Steinberg::int32 used = 0;
    Steinberg::int32 claimedQueues = -1; // the count reported, if not `used`
    bool repeatLastQueue = false;
};
