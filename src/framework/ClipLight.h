#pragma once

#include <cmath>

#include "gui/CControl.h"

// The limit amplifiers and effects share: outputs stop at -4 and 4, and a red light
// stays on for 200 ms after the last clipped sample, counted at the module's rate.
class ClipLight {
public:
    void attach(CControl* led) { light = led; }
    void setSampleRate(float rate) { holdLength = (int)((double)rate * 0.2); }

    // Audio thread, per output value. Later: see tick().
    template <bool Later = false>
    inline float limit(float v) {
        if (std::fabs(v) <= kLimit) return v;  // the usual case in one test; false for NaN
        if (v > kLimit) v = kLimit;
        else if (v < -kLimit) v = -kLimit;
        else return v == v ? v : 0.f;  // NaN would reach the host otherwise
        lit = true;
        hold = holdLength;
        if (!Later) show();
        return v;
    }
    // Audio thread, once at the end of every pass. A block form counts its passes
    // with Later and shows the light once after them, which keeps calls out of its
    // loop; the light is only looked at between blocks.
    template <bool Later = false>
    inline void tick() {
        if (hold != 0) --hold;
        else lit = false;
        if (!Later) show();
    }
    void show() {
        const float v = lit ? 1.f : 0.f;
        if (light->getValue() != v) light->setValue(v);
    }

private:
    static constexpr float kLimit = 4.f;
    CControl* light = nullptr;
    int hold = 0;
    int holdLength = 0;
    bool lit = false;
};
