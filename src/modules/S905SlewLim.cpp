#include "modules/S905SlewLim.h"

#include <cmath>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kX = kWidth / 2;
constexpr double kTimeSeconds = 12.0;       // glide time at the knob's top, time law
constexpr double kKnobGlideSeconds = 10.0;  // the same for a glide restarted by a knob move
constexpr double kRateSeconds = 14.0;       // seconds per unit at the knob's bottom, rate law

inline float glideSamples(float rate, double seconds, double a) { return (float)((double)rate * seconds * a * a * a); }
}  // namespace

S905SlewLim::S905SlewLim(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S905SlewLim.png", kWidth, kHeight)) {
    amount = legend(addKnob(kX, 55, 0.5f), "AMOUNT");
    law = legend(addSwitch(kX, 94, 2, 1.f), "TIME/RATE");  // 0 time (upper), 1 rate (lower)
    channels[0].in = legend(addJack(kX, 137, kJackInput), "IN 1");
    channels[0].out = legend(addJack(kX, 180, kJackOutput), "OUT 1");
    channels[1].in = legend(addJack(kX, 223, kJackInput), "IN 2");
    channels[1].out = legend(addJack(kX, 266, kJackOutput), "OUT 2");
    addScrews();
    setJackValues(0.f);
    controlChanged(amount);
}

void S905SlewLim::controlChanged(CControl* control) {
    if (control == amount) restartGlides(glideSamples(sampleRate, kKnobGlideSeconds, amount->getValue()));
}

void S905SlewLim::restartGlides(float samplesPerGlide) {
    for (Channel& c : channels) {
        const float in = c.in->inValue;
        // At the knob's bottom the time law jumps; a zero step keeps inf and NaN out.
        c.step = samplesPerGlide > 0.f ? (in - c.out->outValue) / samplesPerGlide : 0.f;
        c.target = in;
    }
}

void S905SlewLim::followTime(Channel& c, float samplesPerGlide) {
    const float in = c.in->inValue;
    const double d = (double)in - c.level;
    if (d == 0.0) return;
    // A step left over from another target (after rate-law moves) could point away
    // from the input or be zero, and the output would run off or stall: start afresh.
    const bool towards = (d > 0.0 && c.step > 0.f) || (d < 0.0 && c.step < 0.f);
    if (in != c.target || !towards) {
        c.step = (float)(d / samplesPerGlide);
        c.target = in;
    }
    // A step that underflowed to zero would never arrive.
    if (std::fabs(d) <= std::fabs(c.step) || c.step == 0.f)
        c.level = in;
    else
        c.level += c.step;
}

// Audio thread, lock held. The knob is read raw: the law itself smooths.
void S905SlewLim::process() {
    const double a = amount->getValue();
    for (Channel& c : channels) {
        float& o = c.out->outValue;
        // An output that became inf or NaN (from a bad input) would never come back.
        if (!std::isfinite(o)) o = c.in->inValue;
        // The level runs in double: in single precision small steps are lost against
        // a large output, glides come late or never arrive.
        if ((float)c.level != o) c.level = o;
    }

    if (law->getValue() != 0.f) {
        const float w = glideSamples(sampleRate, kRateSeconds, 1.0 - a);
        const double maxStep = w == 0.f ? 0.0 : 1.0 / (double)w;
        for (Channel& c : channels) {
            const float in = c.in->inValue;
            const double d = (double)in - c.level;
            if (w == 0.f)
                c.level = in;
            else if (d > 0.0)
                c.level = d <= maxStep ? (double)in : c.level + maxStep;
            else if (d < 0.0)
                c.level = d >= -maxStep ? (double)in : c.level - maxStep;
            c.out->outValue = (float)c.level;
        }
        return;
    }

    for (Channel& c : channels) {
        if (a == 0.0)
            c.level = c.in->inValue;
        else
            followTime(c, glideSamples(sampleRate, kTimeSeconds, a));
        c.out->outValue = (float)c.level;
    }
}
