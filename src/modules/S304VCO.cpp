#include "modules/S304VCO.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {

constexpr int kWidth = 72, kHeight = 291;
constexpr double kFmHz = 7000.0;

// One saw step with the two-sample polynomial correction around the wrap.
inline float polyBlepSaw(float& p, float d) {
    const float m = p + d;
    if (m >= 1.f) {
        p = m - 1.f;
        const float t = p / d;
        return 2.f * p - 2.f * t + t * t;
    }
    p = m;
    if (m >= 1.f - d) {
        const float t = (m - 1.f) / d;
        return 2.f * m - 2.f - 2.f * t - t * t;
    }
    return 2.f * m - 1.f;
}

// The same saw read half a cycle later, without advancing anything.
inline float shiftedSaw(float p, float d) {
    float q = p + 0.5f;
    if (q >= 1.f) q -= 1.f;
    // A standing oscillator (d = 0) has no edge to smooth, and q / d would be 0 / 0.
    if (d > 0.f) {
        if (q <= d) {
            const float t = q / d;
            return 2.f * q - 2.f * t + t * t;
        }
        if (q >= 1.f - d) {
            const float t = (q - 1.f) / d;
            return 2.f * q - 2.f - 2.f * t - t * t;
        }
    }
    return 2.f * q - 1.f;
}

// A stored phase outside 0..1 (or not a number) would never settle back into range.
inline float validPhase(float p) { return p >= 0.f && p < 1.f ? p : 0.f; }

}  // namespace

S304VCO::S304VCO(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S304VCO.png", kWidth, kHeight)),
      base(noteFrequency[60]) {
    linFm = legend(addKnob(36, 116, 0.f), "LIN FM");
    tune = legend(addKnobWith("minibrute_knob_big.png", SharedBitmaps::kBigKnobSize, 36, 61, 0.5f), "TUNE");
    tune->setZoomFactor(12.f);
    detune = legend(addKnobWith("sknobit_gray.png", SharedBitmaps::kSmallKnobSize, 18, 202, 0.1f), "DETUNE");
    cvIn = legend(addJack(19, 162, kJackInput), "CV");
    linFmIn = legend(addJack(53, 162, kJackInput), "LIN FM");
    // Built as an input and then turned round, as the panel always had it.
    detuneOut = legend(addJack(53, 205, kJackInput), "DTN");
    detuneOut->direction = kJackOutput;
    sawOut = legend(addJack(19, 251, kJackOutput), "SAW");
    squareOut = legend(addJack(53, 251, kJackOutput), "SQR");
    addScrews();
    setJackValues(0.f);
    const float d = (float)detune->smoothedValue;
    detuneRatio = powf(2.f, d * d);
}

int S304VCO::getStateSize() { return Module::getStateSize() + 8; }

void S304VCO::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const float phases[2] = {phase1, phase2};
    saveAfterControls(buffer, byteCount, phases, 2);
}

void S304VCO::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    float phases[2];
    if (loadAfterControls(words, byteCount, phases, 2)) {
        phase1 = validPhase(phases[0]);
        phase2 = validPhase(phases[1]);
    }
    cachedCv = -1000.f;
    const float d = (float)detune->smoothedValue;
    detuneRatio = powf(2.f, d * d);
    if (version <= 1000) {
        // Records up to 1000 used 18000 v^2 Hz of FM depth; now it is 7000 v^3.
        const double v = linFm->getValue();
        linFm->setValue((float)std::min(std::cbrt(2.5714285714285716 * v * v), 1.0));
        linFm->snap();
    }
}

void S304VCO::process() {
    // The pitch first: at audio-rate CV its pow is the longest wait of the pass, and
    // begun here the knob and detune work below runs while it is being made.
    const float cv = cvIn->inValue;
    const bool newCv = cv != cachedCv;
    if (newCv) {
        cvFrequency = (float)(std::pow(2.0, (double)cv * 10.0) * base);
        cachedCv = cv;
    }
    if (knobs.moving()) {
        tune->smoothToValue();
        linFm->smoothToValue();
        knobs.settle(tune, linFm);
    }
    const double depth = linFm->smoothedValue;
    const double fm = depth * depth * depth * kFmHz * linFmIn->inValue;
    const double tuneFactor =
        tuneCurve.get(tune->smoothedValue, [](double t) { return std::pow(t * t * 3.5 + 0.125, 3.0); });

    const double before = detune->smoothedValue;
    detune->smoothToValue();
    const float dt = (float)detune->smoothedValue;
    const bool detuned = detune->smoothedValue != before;
    if (detuned) detuneRatio = powf(2.f, dt * dt);
    if (detuned || newCv) detuneOut->outValue = dt * dt * 2.f / 10.f + cv;
    const double f = cvFrequency * tuneFactor + fm;
    // Below 0 Hz the waves turn upside down rather than running backwards.
    const float polarity = f < 0.0 ? -1.f : 1.f;
    const float d1 = (float)(std::min(std::fabs(f), (double)nyquist) / sampleRate);
    const float d2 = std::min(d1 * detuneRatio, 0.5f);

    const float saw1 = polyBlepSaw(phase1, d1) * polarity;
    const float saw2 = polyBlepSaw(phase2, d2) * polarity;
    sawOut->outValue = saw1 + saw2;
    if (squareOut->connectionCount > 0) {
        const float s1 = shiftedSaw(phase1, d1) * polarity;
        const float s2 = shiftedSaw(phase2, d2) * polarity;
        squareOut->outValue = (saw1 - s1) + (saw2 - s2);
    }
}
