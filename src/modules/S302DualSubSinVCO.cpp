#include "modules/S302DualSubSinVCO.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {

constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = kWidth / 2;
constexpr float kTwoPi = 6.28318530717958f;

// 2^(i - 6) for the 13 knob positions: 1/64 up to 64.
constexpr float kOctaveRatio[13] = {1.f / 64, 1.f / 32, 1.f / 16, 1.f / 8, 1.f / 4, 1.f / 2, 1.f,
                                    2.f,      4.f,      8.f,      16.f,     32.f,     64.f};

float ratioOf(const ModuleKnob* k) {
    // A stored value outside 0..1 must not index past the table.
    const int i = (int)(k->steppedValue * 12.f + 0.001f);
    return kOctaveRatio[std::clamp(i, 0, 12)];
}

// A stored phase outside one turn would never come back into range.
float validPhase(float p) { return p >= 0.f && p < kTwoPi ? p : 0.f; }

}  // namespace

S302DualSubSinVCO::S302DualSubSinVCO(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor,
             SharedBitmaps::panel("S302DualSubSinVCO.png", kWidth, kHeight)),
      base(noteFrequency[60]),
      cvFrequency(noteFrequency[60]) {
    tune = legend(addKnob(kCentreX, 216, 0.f), "TUNE 2");
    octave1 = legend(addKnobWith("sknobit_gray_13s.png", SharedBitmaps::kSmallKnobSize, kCentreX, 95, 0.5f), "OCT 1");
    octave2 = legend(addKnobWith("sknobit_gray_13s.png", SharedBitmaps::kSmallKnobSize, kCentreX, 175, 0.5f), "OCT 2");
    for (ModuleKnob* k : {octave1, octave2}) {
        k->setStepped(true);
        k->snap();
    }
    cvIn = legend(addJack(kCentreX, 57, kJackInput), "CV");
    out1 = legend(addJack(kCentreX, 137, kJackOutput), "OUT 1");
    out2 = legend(addJack(kCentreX, 266, kJackOutput), "OUT 2");
    addScrews();
    setJackValues(0.f);
}

float S302DualSubSinVCO::increment(const ModuleKnob* octaves) const {
    return std::min(nyquist, cvFrequency * ratioOf(octaves)) * kTwoPi / sampleRate;
}

void S302DualSubSinVCO::cableConnected(PatchPoint*) {
    // Out2's increment went stale while it had no cable; the next sample renews both.
    cachedCv = -1.f;
}

void S302DualSubSinVCO::controlChanged(CControl* control) {
    if (control == octave1) {
        octave1->updateStepped();
        w1 = increment(octave1);
    } else if (control == octave2) {
        octave2->updateStepped();
        w2 = increment(octave2);
    }
}

void S302DualSubSinVCO::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    w1 = increment(octave1);
    w2 = increment(octave2);
}

int S302DualSubSinVCO::getStateSize() { return Module::getStateSize() + 8; }

void S302DualSubSinVCO::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const float phases[2] = {phase1, phase2};
    saveAfterControls(buffer, byteCount, phases, 2);
}

void S302DualSubSinVCO::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    float phases[2];
    if (!loadAfterControls(words, byteCount, phases, 2)) return;
    phase1 = validPhase(phases[0]);
    phase2 = validPhase(phases[1]);
}

void S302DualSubSinVCO::process() {
    const float cv = cvIn->inValue;
    const bool second = out2->connectionCount > 0;
    if (cv != cachedCv) {
        cvFrequency = (float)(std::pow(2.0, (double)cv * 10.0) * base);
        w1 = increment(octave1);
        if (second) w2 = increment(octave2);
        cachedCv = cv;
    }
    phase1 += w1;
    if (phase1 >= kTwoPi) phase1 -= kTwoPi;
    out1->outValue = sinf(phase1);
    if (second) {
        tune->smoothToValue();
        phase2 += (float)(tune->smoothedValue + 1.0) * w2;
        if (phase2 >= kTwoPi) phase2 -= kTwoPi;
        out2->outValue = sinf(phase2);
    }
}
