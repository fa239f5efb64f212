#include "modules/S401VCAAtn.h"

#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = 24, kLedX = 37;
// -12, -6, 0, +6 and +12 dB.
constexpr float kGainSteps[5] = {0.25f, 0.5f, 1.f, 2.f, 4.f};
}  // namespace

S401VCAAtn::S401VCAAtn(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S401VCAAtn.png", kWidth, kHeight)) {
    gain = legend(addKnobWith("sknobit_gray_5s.png", SharedBitmaps::kSmallKnobSize, kCentreX, 44, 0.5f), "GAIN");
    gain->setStepped(true);
    gain->snap();
    cvIn = legend(addJack(kCentreX, 83, kJackInput), "CV");
    in1 = legend(addJack(kCentreX, 126, kJackInput), "IN 1");
    out1 = legend(addJack(kCentreX, 169, kJackOutput), "OUT 1");
    in2 = legend(addJack(kCentreX, 212, kJackInput), "IN 2");
    out2 = legend(addJack(kCentreX, 255, kJackOutput), "OUT 2");
    clip[0].attach(addLight("led_red.png", kLedX, 150));
    clip[1].attach(addLight("led_red.png", kLedX, 236));
    addScrews();
    setJackValues(0.f);
    for (ClipLight& c : clip) c.setSampleRate(sampleRate);
    applyGainStep();
}

void S401VCAAtn::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    for (ClipLight& c : clip) c.setSampleRate(sampleRate);
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

void S401VCAAtn::process() { step(PassJacks{}); }
void S401VCAAtn::processPass() { step(SourceJacks{}); }

void S401VCAAtn::processBlock(int, int n) {
    // Knob Paste changes the value without controlChanged.
    if (gain->steppedValue != appliedStep) applyGainStep();
    runBlock(n, [this](const BlockJacks& io) { step(io); }, out1, out2);
    clip[0].show();
    clip[1].show();
}

template <class Jacks>
inline void S401VCAAtn::step(const Jacks& io) {
    // Knob Paste changes the value without controlChanged.
    if (!Jacks::kBlock && gain->steppedValue != appliedStep) applyGainStep();
    const float cv = io.in(cvIn);
    float o1 = 0.f, o2 = 0.f;
    if (cv > 0.f) {
        o1 = clip[0].limit<Jacks::kBlock>(cv * gainFactor * io.in(in1));
        // A jack without a cable reads exactly 0, and so would give exactly 0 here.
        if (in2->connectionCount > 0) o2 = clip[1].limit<Jacks::kBlock>(cv * gainFactor * io.in(in2));
    }
    out1->outValue = o1;
    out2->outValue = o2;
    clip[0].tick<Jacks::kBlock>();
    clip[1].tick<Jacks::kBlock>();
}
