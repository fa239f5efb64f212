#pragma once

#include "gui/CControl.h"

// A knob whose value reaches the DSP through per-sample smoothing, so moves and
// automation never click. Stepped knobs snap to their frames by truncation.
class ModuleKnob : public CAnimKnob {
public:
    ModuleKnob(const CRect& size, CControlListener* listener, int32_t tag, int subPixmaps,
               int heightOfOneImage, CBitmap* background, float moduleSampleRate);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "ModuleKnob") == 0 || CAnimKnob::isTypeOf(s);
    }

    void setValue(float v) override;
    void updateStepped();
    void setStepped(bool s) {
        stepped = s;
        if (s) updateStepped();
    }

    // Audio thread, once per sample by the owning module.
    inline void smoothToValue() { smoothTo(getValue()); }
    inline void smoothToStep() { smoothTo(steppedValue); }

    // Jump without smoothing (preset load, construction).
    void snap() { smoothedValue = stepped ? steppedValue : getValue(); }
    void setSmoothing(int ms, float moduleSampleRate);

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;

    double smoothedValue;
    float steppedValue;
    bool stepped = false;
    float smoothDivisor;
    int smoothMs = 35;

private:
    inline void smoothTo(float target) {
        float diff = target - (float)smoothedValue;
        if (diff == 0.f) return;
        if (diff > -0.001f && diff < 0.001f)
            smoothedValue = target;
        else
            smoothedValue += diff / smoothDivisor;
    }
};

// Sequencer step knob: finer dragging, linear or circular, with a paired display.
class ModuleKnobEx : public ModuleKnob {
public:
    using ModuleKnob::ModuleKnob;
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "ModuleKnobEx") == 0 || ModuleKnob::isTypeOf(s);
    }
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;

    bool redrawOnMove = true;
    CControl* companion = nullptr;
    int stepIndex = 0;
    bool circular = false;

private:
    CPoint pressPoint;
    float referenceValue = 0.f;
    long referenceButtons = 0;
};

// A frame display that can stay marked for redraw (step lights follow the playhead).
class CMovieBitmapEx : public CMovieBitmap {
public:
    using CMovieBitmap::CMovieBitmap;
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CMovieBitmapEx") == 0 || CMovieBitmap::isTypeOf(s);
    }
    int displayFrame() const;
    void draw(CDrawContext* context) override;

    bool clearDirtyOnDraw = true;
};
