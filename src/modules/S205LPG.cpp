#include "modules/S205LPG.h"

#include <cmath>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CControl.h"

namespace {

constexpr int kWidth = 96, kHeight = 291;
// Same mapping as the S201: fc = 21829.5 Hz at full C/A whatever the rate.
constexpr double kFrequencyScale = 68579.39683153832;
constexpr float kEnvelopeDecay = 0.999f;

// A NaN lands on the lower bound (a comparison with NaN is false).
inline float limit(float v, float lo, float hi) {
    v = v > lo ? v : lo;
    return v < hi ? v : hi;
}

// Unity up to 1.5, bending to 1.75 at 2 and flat beyond. A NaN becomes 0, so a bad input
// sample gives a silent output sample rather than a non-number.
inline float softLimit(float c) {
    if (c >= -1.5f && c <= 1.5f) return c;
    if (c > 1.5f) {
        if (c > 2.f) return 1.75f;
        const float d = c - 1.5f;
        return d / (4.f * d * d + 1.f) + 1.5f;
    }
    if (c < -1.5f) {
        if (c < -2.f) return -1.75f;
        const float d = -c - 1.5f;
        return -(d / (4.f * d * d + 1.f) + 1.5f);
    }
    return 0.f;
}

}  // namespace

S205LPG::S205LPG(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S205LPG.png", kWidth, kHeight)) {
    level = legend(addKnob(62, 55, 0.5f), "LEV");
    amount = legend(addKnob(62, 98, 0.5f), "C/A");
    cv2Depth = legend(addKnob(62, 141, 0.f), "CV2");
    drive = legend(addKnob(62, 184, 0.f), "DRIVE");
    resonance = legend(addKnob(62, 227, 0.f), "RES");
    audioIn = legend(addJack(17, 58, kJackInput), "IN");
    amountIn = legend(addJack(17, 101, kJackInput), "C/A CV");
    amountIn2 = legend(addJack(17, 144, kJackInput), "C/A CV2");
    driveIn = legend(addJack(17, 187, kJackInput), "DRV CV");
    output = legend(addJack(17, 230, kJackOutput), "OUT");
    modeSwitch = legend(addSwitch(36, 256, 3, 0.5f), "PRE/POST/FLT");
    addScrews();
    setJackValues(0.f);
    frequencyScale = (float)(kFrequencyScale / sampleRate);
}

void S205LPG::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    frequencyScale = (float)(kFrequencyScale / sampleRate);
}

void S205LPG::controlChanged(CControl* control) {
    if (control != modeSwitch) return;
    const float v = modeSwitch->getValue();
    mode = v < 0.5f ? kPre : (v < 1.f ? kPost : kFilter);
}

void S205LPG::process() {
    if (knobs.moving()) {
        level->smoothToValue();
        amount->smoothToValue();
        cv2Depth->smoothToValue();
        drive->smoothToValue();
        resonance->smoothToValue();
        knobs.settle(level, amount, cv2Depth, drive, resonance);
    }

    // Alternating offset of denormal size keeps a silent loop out of the subnormal range.
    guard = -guard;
    const float lev = (float)level->smoothedValue;
    float x = 2.f * lev * lev * audioIn->inValue + guard;

    const float c = limit(amountIn->inValue + (float)amount->smoothedValue +
                              amountIn2->inValue * (float)cv2Depth->smoothedValue,
                          0.f, 1.f);
    float gain = 1.f;
    if (mode == kPre)
        x *= 2.f * c;
    else if (mode == kPost)
        gain = 2.f * c;

    const float t = frequencyScale * c * c * c;
    const float d = driveIn->inValue + (float)drive->smoothedValue;
    const float boost = d * t;
    const float t2 = t * t;
    // tan(t) by a polynomial that stays finite where t approaches pi/2.
    const float g = t * (1.f + t2 * (0.31755f + 0.2033f * t2));
    const float q = 1.f - (0.95f - d * 0.3999999999999999f) * (float)resonance->smoothedValue;
    // k <= 2, so den >= 1 + g^2: never zero.
    const float k = 2.f * (1.f - q * q);

    // Written so that a NaN input leaves env at 1 rather than in the states.
    env = env * kEnvelopeDecay + std::fabs(x);
    env = env < 1.f ? env : 1.f;

    const float u = 1.f + g;
    const float den = u * u - k * g;
    const float node = softLimit(((k * s1 + u * s2) / den * env + (u * g / den) * x) * (boost + 1.f));
    const float y = (s1 + g * node) / u;
    output->outValue = y * gain;
    s1 = 2.f * y - s1;
    s2 = 2.f * (node - k * y) - s2;
    // A non-number or overflow from Drive CV (through k) would otherwise stay for good.
    if (!std::isfinite(s1) || !std::isfinite(s2)) s1 = s2 = 0.f;
}
