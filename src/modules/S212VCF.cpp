#include "modules/S212VCF.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"

namespace {

constexpr int kWidth = 144, kHeight = 291;

// NaN lands on the lower bound (a comparison with NaN is false), so a bad control
// value closes the filter for a moment instead of poisoning the coefficients.
inline float limit(float v, float lo, float hi) {
    v = v > lo ? v : lo;
    return v < hi ? v : hi;
}

// Slope 1 at |a| = 1, flat at 2 from |a| = 3. A NaN becomes 0 so that it cannot stay in
// the recursions for ever.
inline float softClip(float a) {
    if (a >= -1.f && a <= 1.f) return a;
    if (a > 1.f) {
        if (a > 3.f) return 2.f;
        const float t = a - 1.f;
        return t / (t * t * 0.25f + 1.f) + 1.f;
    }
    if (a < -1.f) {
        if (a < -3.f) return -2.f;
        const float t = -a - 1.f;
        return -(t / (t * t * 0.25f + 1.f) + 1.f);
    }
    return 0.f;
}

}  // namespace

S212VCF::S212VCF(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S212VCF.png", kWidth, kHeight)) {
    level = legend(addKnob(62, 55, 0.5f), "LEV");
    cutoff = legend(addKnob(62, 98, 0.5f), "CUT");
    frequencyDepth = legend(addKnob(62, 141, 0.f), "FRQ");
    resonanceDepth = legend(addKnob(62, 184, 0.f), "Q");
    resonance = legend(addKnob(62, 227, 0.f), "RES");
    feedback = legend(addKnob(110, 55, 0.f), "FB");
    audioIn = legend(addJack(17, 58, kJackInput), "IN");
    cutoffIn = legend(addJack(17, 101, kJackInput), "CUT CV");
    frequencyIn = legend(addJack(17, 144, kJackInput), "FRQ CV");
    resonanceIn = legend(addJack(17, 187, kJackInput), "Q CV");
    feedbackIn = legend(addJack(112, 101, kJackOutput), "FB IN");
    feedbackIn->direction = kJackInput;
    outputs[kHP] = legend(addJack(112, 133, kJackOutput), "HP");
    outputs[kBP] = legend(addJack(112, 165, kJackOutput), "BP");
    outputs[kLP] = legend(addJack(112, 197, kJackOutput), "LP");
    outputs[kNotch] = legend(addJack(112, 229, kJackOutput), "NOTCH");
    slope = legend(addSwitch(17, 230, 2, 0.f), "12dB/24dB");
    addScrews();
    addScrewsRight();
    setJackValues(0.f);
    fmHighPass = 2.f / sampleRate;
    setRateConstants();
}

void S212VCF::setRateConstants() {
    uMax = 37485.f / sampleRate;
    uMin = 0.04f / sampleRate;
    fadeLimit = 250.f / sampleRate;
    rMin = -1764.f / sampleRate;
    phaseMin = 85.76611218f / sampleRate;
    phaseMax = 201.52639836f / sampleRate;
}

void S212VCF::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    cutoffCache = -1000.f;
    resonanceCache = -1000.f;
    setRateConstants();
}

float S212VCF::runSection(History& h, float b0, float b1, float b2, float v0, float v1, float v2) const {
    const float y = softClip((b0 * v0 + b1 * v1 + b2 * v2 - a1 * h.y1 - a2 * h.y2 + k3 * h.y3) * invA0);
    h.y3 = h.y2;
    h.y2 = h.y1;
    h.y1 = y;
    return y;
}

void S212VCF::process() {
    if (knobs.moving()) {
        level->smoothToValue();
        cutoff->smoothToValue();
        frequencyDepth->smoothToValue();
        resonanceDepth->smoothToValue();
        resonance->smoothToValue();
        feedback->smoothToValue();
        knobs.settle(level, cutoff, frequencyDepth, resonanceDepth, resonance, feedback);
    }
    const float lev = (float)level->smoothedValue;
    const float frq = (float)frequencyDepth->smoothedValue;

    // Noise of denormal-guard size keeps silent histories out of the subnormal range and
    // seeds self-oscillation.
    const float noise = (float)(nextRandomSeed() * 4.656612873077393e-10 * 2e-13 - 1e-13);
    const float xin = audioIn->inValue * lev * lev + noise;

    // Everything below that follows from the controls alone is kept until one moves:
    // the same values, made once.
    const float f = feedbackIn->inValue * 0.5f + (float)feedback->smoothedValue;
    bool moved = false;
    if (!(f == feedbackCache)) {  // a NaN never matches, so it is worked out each time
        feedbackCache = f;
        d = 1.f - (1.f - f) * (1.f - f);
        const float b = limit(f, 0.f, 2.f);
        const float b2 = b * b;
        b4 = b2 * b2;
        moved = true;
    }

    const float h = phase < 1.f ? 2.f * phase - 1.f : 1.f - 2.f * (phase - 1.f);
    phase += phaseMin + (phaseMax - phaseMin) * b4;
    if (phase > 2.f) phase -= 2.f;

    float e = cutoffIn->inValue + (float)cutoff->smoothedValue;
    if (frq > 0.f) {
        const float fm = frequencyIn->inValue;
        fmHighPass = (fm - lastFm) + 0.9f * fmHighPass;
        lastFm = fm;
        // A non-number on Frq CV would otherwise stay in the high-pass for good.
        if (!std::isfinite(fmHighPass) || !std::isfinite(lastFm)) fmHighPass = lastFm = 0.f;
        e += (1.f - fmHighPass + fmHighPass * h) * (frq * fm * frq);
    }
    const float r = resonanceIn->inValue * (float)resonanceDepth->smoothedValue + (float)resonance->smoothedValue;

    if (e != cutoffCache) {
        moved = true;
        cutoffCache = e;
        const float ec = limit(e, 0.f, 1.f);
        const float e2 = ec * ec;
        u = uMin + (uMax - uMin) * e2 * e2;
        // cos(pi u) as two parabolas: cheap, exact at 0, 0.5 and 1.
        c = u <= 0.5f ? 1.f - 4.f * u * u : 4.f * (u - 1.f) * (u - 1.f) - 1.f;
    }
    if (r != resonanceCache) {
        moved = true;
        resonanceCache = r;
        const float rc = 1.f - limit(r, 0.f, 1.f);
        R = (1.f - rc * rc) * (rMin - 3.f) + 3.f;
    }

    if (moved) {
        const float p = u * R;
        const float lowNumerator = (1.f - c) * 0.5f;
        damping = (30.f * u + 3.f) * (b4 < lowNumerator ? b4 : lowNumerator);
        a1 = -2.f * c;
        a2 = 1.f - p;
        invA0 = 1.f / (1.f + p + damping);
        const float highNumerator = (1.f + c) * 0.5f;
        const float band = 1.4f * u;
        fade = u < fadeLimit ? u / fadeLimit : 1.f;
        const float table[kOutputs][3] = {
            {lowNumerator, 1.f - c, lowNumerator},
            {highNumerator, -(1.f + c), highNumerator},
            {band, 0.f, -band},
            {1.f, -2.f * c, 1.f},
        };
        std::memcpy(coef, table, sizeof coef);
    }
    k3 = h * damping;

    const bool steep = slope->getValue() >= 0.5f;
    x0 = (d + (steep ? 0.7f : 1.f)) * xin;
    for (int o = 0; o < kOutputs; ++o) {
        if (outputs[o]->connectionCount <= 0) continue;
        const float* k = coef[o];
        History& first = history[o][0];
        float y = runSection(first, k[0], k[1], k[2], x0, x1, x2);
        if (steep) y = runSection(history[o][1], k[0], k[1], k[2], first.y1, first.y2, first.y3);
        // Below 125 Hz the high-pass and notch fade towards the driven input; the
        // histories keep the unfaded values.
        if ((o == kHP || o == kNotch) && fade < 1.f) y = x0 + fade * (y - x0);
        outputs[o]->outValue = y;
    }
    x2 = x1;
    x1 = x0;
}
