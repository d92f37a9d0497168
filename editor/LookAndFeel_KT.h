#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "BinaryData.h"

#include <mutex>

// The product's own look: a fixed dark palette, the embedded Roboto fonts and a few flat
// drawing overrides. Components keep their own instance for the palette; installing it as a
// component's look-and-feel is optional.
class LookAndFeel_KT : public juce::LookAndFeel_V4
{
public:
    LookAndFeel_KT()
    {
        setColour (juce::ResizableWindow::backgroundColourId, juce::Colours::white);
        setColour (juce::Slider::thumbColourId, juce::Colours::black);
        setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colours::black);
        setColour (juce::Slider::rotarySliderFillColourId, juce::Colours::white);
        setColour (juce::Slider::trackColourId, juce::Colours::white);
        setColour (juce::ToggleButton::tickDisabledColourId, juce::Colours::black);
        setColour (juce::ToggleButton::tickColourId, juce::Colours::white);
    }

    ~LookAndFeel_KT() override = default;

    // A pill switch: off shows the knob at the left, on at the right; a pressed switch already
    // shows the state it is about to take.
    void drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool isButtonDown) override
    {
        const auto w = (float) button.getWidth();
        const int m = juce::jmin (button.getWidth(), button.getHeight());
        const float r = (float) (m / 2) - 2.0f;

        g.setColour (c0);
        g.fillRect (r + 2.0f, 2.0f, w - 2.0f * r - 4.0f, 2.0f * r);
        g.fillEllipse (2.0f, 2.0f, 2.0f * r, 2.0f * r);
        g.fillEllipse (w - 2.0f * r - 2.0f, 2.0f, 2.0f * r, 2.0f * r);

        const float inner = 2.0f * (r - 2.0f);
        g.setColour (c3);
        g.fillRect (r + 2.0f, 4.0f, w - 2.0f * r - 4.0f, inner);
        g.fillEllipse (4.0f, 4.0f, inner, inner);
        g.fillEllipse (w - inner - 4.0f, 4.0f, inner, inner);

        const float knob = 2.0f * (r - 4.0f);
        const float knobX = button.getToggleState() == isButtonDown ? 6.0f : w - 6.0f - knob;
        g.setColour (c0);
        g.fillEllipse (knobX, 6.0f, knob, knob);
    }

    void drawComboBox (juce::Graphics& g, int width, int height, bool, int, int, int, int, juce::ComboBox&) override
    {
        g.setColour (c3);
        g.drawRect (0.0f, 0.0f, (float) width, (float) height, 1.0f);
    }

    // A flat knob whose arc grows from 12 o'clock towards the current angle.
    void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override
    {
        const float angle = rotaryAngle (sliderPos, rotaryStartAngle, rotaryEndAngle);
        const float cx = (float) x + 0.5f * (float) width;
        const float cy = (float) y + 0.5f * (float) height;
        const float radius = (float) juce::jmin (width / 2, height / 2) - 4.0f;

        g.setColour (c3);
        g.fillEllipse (cx - radius, cy - radius, 2.0f * radius, 2.0f * radius);

        // The inner disc is dark so that the light pointer dot inside it shows.
        const float innerRadius = radius - 8.0f;
        g.setColour (c0);
        g.fillEllipse (cx - innerRadius, cy - innerRadius, 2.0f * innerRadius, 2.0f * innerRadius);

        juce::Path arc;
        arc.addCentredArc (cx, cy, radius - 4.0f, radius - 4.0f, 0.0f, angle, 0.0f, true);
        g.setColour (c0);
        g.strokePath (arc, juce::PathStrokeType (4.0f, juce::PathStrokeType::curved, juce::PathStrokeType::butt));

        g.setColour (c3);
        g.fillPath (pointerDot (radius), juce::AffineTransform::rotation (angle).translated (cx, cy));
    }

    void drawTabbedButtonBarBackground (juce::TabbedButtonBar&, juce::Graphics& g) override
    {
        g.setColour (c4);
    }

    void drawTabAreaBehindFrontButton (juce::TabbedButtonBar&, juce::Graphics& g, int, int) override
    {
        g.setColour (c4);
    }

    // Angle of the knob in radians, clockwise from 12 o'clock: the framework's default range
    // (1.2 pi to 2.8 pi) maps to -0.8 pi .. 0.8 pi.
    static float rotaryAngle (float sliderPos, float rotaryStartAngle, float rotaryEndAngle)
    {
        return rotaryStartAngle + sliderPos * (rotaryEndAngle - rotaryStartAngle) - 6.2831855f;
    }

    // A dot of radius 3 centred 13 px below the knob's rim, in knob-centred coordinates.
    static juce::Path pointerDot (float radius)
    {
        constexpr float handle = 1.65f;
        const float cy = 13.0f - radius;
        juce::Path dot;
        dot.startNewSubPath (0.0f, cy - 3.0f);
        dot.cubicTo (handle, cy - 3.0f, 3.0f, cy - handle, 3.0f, cy);
        dot.cubicTo (3.0f, cy + handle, handle, cy + 3.0f, 0.0f, cy + 3.0f);
        dot.cubicTo (-handle, cy + 3.0f, -3.0f, cy + handle, -3.0f, cy);
        dot.cubicTo (-3.0f, cy - handle, -handle, cy - 3.0f, 0.0f, cy - 3.0f);
        dot.closeSubPath();
        return dot;
    }

    // Each getter hands out one process-wide font made from the embedded file; the height is
    // that of the latest call, so callers copy the result at once.
    static juce::Font& getRobotoLight (float size)        { return withHeight (EmbeddedFonts::get().light, size); }
    static juce::Font& getRobotoRegular (float size)      { return withHeight (EmbeddedFonts::get().regular, size); }
    static juce::Font& getRobotoMedium (float size)       { return withHeight (EmbeddedFonts::get().medium, size); }

    // The console's cell grid is built for one fixed height, so the mono fonts ignore the size.
    static juce::Font& getRobotoMonoRegular (float)       { return withHeight (EmbeddedFonts::get().monoRegular, 20.0f); }
    static juce::Font& getRobotoMonoBold (float)          { return withHeight (EmbeddedFonts::get().monoBold, 20.0f); }

    const juce::Colour c0 { 0xff141414 };
    const juce::Colour c1 { 0xff141414 };
    const juce::Colour c2 { 0xff1b1b1b };
    const juce::Colour c3 { 0xfff0f0f0 };
    const juce::Colour c4 { 0xff808080 };
    const juce::Colour c5 { 0xff303030 };
    const juce::Colour c6 { 0xff111111 };
    const juce::Colour c7 { 0xffe84f4f };
    const juce::Colour c8 { 0xffc2d846 };
    const juce::Colour c9 { 0xfffed766 };
    const juce::Colour c10 { 0xff6fadec };
    const juce::Colour c11 { 0xffab72dd };
    const juce::Colour c12 { 0xffffffff };
    const juce::Colour c13 { 0xffd0d0d0 };

private:
    // The five fonts live until the framework shuts down rather than until static destruction:
    // their glyph caches are framework objects that must be gone before its leak checks run.
    // Created once, on first use, under a lock.
    class EmbeddedFonts : public juce::DeletedAtShutdown
    {
    public:
        static EmbeddedFonts& get()
        {
            const std::lock_guard<std::mutex> lock (creationLock());
            auto*& fonts = instance();

            if (fonts == nullptr)
                fonts = new EmbeddedFonts();

            return *fonts;
        }

        ~EmbeddedFonts() override
        {
            const std::lock_guard<std::mutex> lock (creationLock());
            instance() = nullptr;
        }

        juce::Font light { embedded (BinaryData::RobotoLight_ttf, BinaryData::RobotoLight_ttfSize) };
        juce::Font regular { embedded (BinaryData::RobotoRegular_ttf, BinaryData::RobotoRegular_ttfSize) };
        juce::Font medium { embedded (BinaryData::RobotoMedium_ttf, BinaryData::RobotoMedium_ttfSize) };
        juce::Font monoRegular { embedded (BinaryData::RobotoMonoRegular_ttf, BinaryData::RobotoMonoRegular_ttfSize) };
        juce::Font monoBold { embedded (BinaryData::RobotoMonoBold_ttf, BinaryData::RobotoMonoBold_ttfSize) };

    private:
        EmbeddedFonts() = default;

        static EmbeddedFonts*& instance()
        {
            static EmbeddedFonts* fonts = nullptr;
            return fonts;
        }

        static std::mutex& creationLock()
        {
            static std::mutex lock;
            return lock;
        }

        static juce::Typeface::Ptr embedded (const char* data, int size)
        {
            return juce::Typeface::createSystemTypefaceFor (data, (size_t) size);
        }
    };

    static juce::Font& withHeight (juce::Font& font, float height)
    {
        font.setHeight (height);
        return font;
    }
};
