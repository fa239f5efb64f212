#include "modules/S401VCAAtn.h"

#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = 24, kLedX = 37, kLedSize = 12, kLedFrames = 5;
constexpr float kClip = 4.f;
constexpr double kHoldSeconds = 0.2;
// -12, -6, 0, +6 and +12 dB.
constexpr float kGainSteps[5] = {0.25f, 0.5f, 1.f, 2.f, 4.f};
}  // namespace

S401VCAAtn::S401VCAAtn(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S401VCAAtn.png", kWidth, kHeight)) {
    gain = addKnobWith("sknobit_gray_5s.png", SharedBitmaps::kSmallKnobSize, kCentreX, 44, 0.5f);
    gain->setStepped(true);
    gain->snap();
    cvIn = addJack(kCentreX, 83, kJackInput);
    in1 = addJack(kCentreX, 126, kJackInput);
    out1 = addJack(kCentreX, 169, kJackOutput);
    in2 = addJack(kCentreX, 212, kJackInput);
    out2 = addJack(kCentreX, 255, kJackOutput);
    CBitmap* red = SharedBitmaps::get("led_red.png");
    const int ledY[2] = {150, 236};
    for (int i = 0; i < 2; ++i) {
        clipLed[i] = new CMovieBitmap(CRect::fromSize(kLedX - kLedSize / 2, ledY[i] - kLedSize / 2, kLedSize, kLedSize),
                                      editor->controlListener(), kTagNoParameter, kLedFrames, kLedSize, red);
        addView(clipLed[i]);
    }
    addScrews();
    setJackValues(0.f);
    holdLength = (int)((double)sampleRate * kHoldSeconds);
    applyGainStep();
}

void S401VCAAtn::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    holdLength = (int)((double)sampleRate * kHoldSeconds);
}

void S401VCAAtn::applyGainStep() {
    appliedStep = gain->steppedValue;
    // A preset or host value outside 0..1 (or NaN) must not index past the table.
    const float s = appliedStep;
    const int step = s > 0.f ? (s < 1.f ? (int)(4.f * s) : 4) : 0;
    gainFactor = kGainSteps[step];
}

void S401VCAAtn::controlChanged(CControl* control) {
    if (control != gain) return;
    gain->updateStepped();
    applyGainStep();
}

float S401VCAAtn::limit(float v, int channel) {
    if (v > kClip) v = kClip;
    else if (v < -kClip) v = -kClip;
    else return v;
    if (clipLed[channel]->getValue() != 1.f) clipLed[channel]->setValue(1.f);
    clipHold[channel] = holdLength;
    return v;
}

void S401VCAAtn::process() {
    // Host automation and knob Paste change the value without controlChanged.
    if (gain->steppedValue != appliedStep) applyGainStep();
    const float cv = cvIn->inValue;
    float o1 = 0.f, o2 = 0.f;
    if (cv > 0.f) {
        o1 = limit(cv * gainFactor * in1->inValue, 0);
        o2 = limit(cv * gainFactor * in2->inValue, 1);
    }
    out1->outValue = o1;
    out2->outValue = o2;
    for (int i = 0; i < 2; ++i) {
        if (clipHold[i] != 0) --clipHold[i];
        else if (clipLed[i]->getValue() != 0.f) clipLed[i]->setValue(0.f);
    }
}
