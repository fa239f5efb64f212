#pragma once

#include <atomic>
#include <cstdint>
#include <limits>

#include "gui/CControl.h"

// Counts every change to any knob (value, step, snap) in the library, so a module
// can tell with one load that none of its knobs can have moved. Declared hidden so
// that the load is one instruction, not one through the global offset table (an
// extern declaration is not covered by the library-wide hidden default).
#if defined(__GNUC__) && !defined(_WIN32)
extern __attribute__((visibility("hidden"))) std::atomic<uint32_t> knobEpoch;
#else
extern std::atomic<uint32_t> knobEpoch;
#endif

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
        touched();
    }

    // Audio thread, once per sample by the owning module. A knob that has reached its
    // target and has not been touched since is skipped: the step would change nothing.
    inline void smoothToValue() {
        const uint32_t m = moves.load(std::memory_order_acquire);
        if (m != settledMoves) smoothTo(getValue(), m);
    }
    inline void smoothToStep() {
        const uint32_t m = moves.load(std::memory_order_acquire);
        if (m != settledMoves) smoothTo(steppedValue, m);
    }

    // Jump without smoothing (preset load, construction). Code that writes
    // smoothedValue itself after the first pass must call touched() as well.
    void snap() {
        smoothedValue = stepped ? steppedValue : getValue();
        touched();
    }
    // Any thread: the value, the step or smoothedValue changed, so smoothing resumes.
    void touched() {
        moves.fetch_add(1, std::memory_order_release);
        knobEpoch.fetch_add(1, std::memory_order_release);
    }
    // Audio thread: the last smoothing step found the knob on its target and nothing
    // has touched it since.
    bool atRest() const { return moves.load(std::memory_order_acquire) == settledMoves; }
    void setSmoothing(int ms, float moduleSampleRate);

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;

    double smoothedValue;
    float steppedValue;
    bool stepped = false;
    float smoothDivisor;
    int smoothMs = 35;

private:
    // `m` is the move count read before the target, so a move that lands while this
    // runs keeps the knob awake for the next sample.
    inline void smoothTo(float target, uint32_t m) {
        float diff = target - (float)smoothedValue;
        if (diff == 0.f) {
            settledMoves = m;
            return;
        }
        if (diff > -0.001f && diff < 0.001f)
            smoothedValue = target;
        else
            smoothedValue += diff / smoothDivisor;
    }

    std::atomic<uint32_t> moves{0};
    // Audio thread only. Starts unequal so the first pass always looks at the knob,
    // whatever was written to smoothedValue before it.
    uint32_t settledMoves = ~0u;
};

// Lets a module skip smoothing all its knobs at once while none can have moved:
//   if (knobs.moving()) { a->smoothToValue(); b->smoothToValue(); knobs.settle(a, b); }
// The epoch is read before the knobs, so a move that lands during the step keeps the
// group awake for the next pass.
class KnobWatch {
public:
    inline bool moving() {
        const uint32_t epoch = knobEpoch.load(std::memory_order_acquire);
        if (epoch == seen) return false;  // no store on the common path
        pending = epoch;
        return true;
    }
    template <class... Knobs>
    inline void settle(const Knobs*... knobs) {
        if ((knobs->atRest() && ...)) seen = pending;
    }

private:
    uint32_t pending = 0;
    uint32_t seen = ~0u;  // unequal at first: the first pass always smooths
};

// A number a module derives from one input (usually a knob's smoothed value), worked
// out again only when that input changes; reset() forces the next get() to compute.
template <class Key, class Value>
struct Derived {
    template <class F>
    inline Value get(Key k, F compute) {
        if (!(k == key)) {  // a NaN key never matches, so it is always computed afresh
            key = k;
            value = compute(k);
        }
        return value;
    }
    void reset() { key = std::numeric_limits<Key>::quiet_NaN(); }

    Key key = std::numeric_limits<Key>::quiet_NaN();
    Value value{};
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
