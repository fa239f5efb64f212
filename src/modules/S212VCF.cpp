#include "modules/S212VCF.h"

#include <emmintrin.h>

#include <cmath>
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

// Slope 1 at |a| = 1, flat at 2 from |a| = 3, odd: past 1, t = |a| - 1 bends to
// t / (t^2 / 4 + 1) + 1 with the sign of a. A NaN becomes 0 so that it cannot stay in
// the recursions for ever. Four lanes at once; every lane takes the steps one value
// alone would, and the others' results are not used.
inline __m128 softClip(__m128 a) {
    const __m128 one = _mm_set1_ps(1.f), sign = _mm_set1_ps(-0.f);
    const __m128 size = _mm_andnot_ps(sign, a);
    const __m128 t = _mm_sub_ps(size, one);
    const __m128 bent =
        _mm_add_ps(_mm_div_ps(t, _mm_add_ps(_mm_mul_ps(_mm_mul_ps(t, t), _mm_set1_ps(0.25f)), one)), one);
    const __m128 flat = _mm_cmpgt_ps(size, _mm_set1_ps(3.f));
    const __m128 outer = _mm_or_ps(_mm_and_ps(flat, _mm_set1_ps(2.f)), _mm_andnot_ps(flat, bent));
    const __m128 clipped = _mm_and_ps(_mm_cmpord_ps(a, a), _mm_or_ps(outer, _mm_and_ps(a, sign)));
    const __m128 inside = _mm_cmple_ps(size, one);
    return _mm_or_ps(_mm_and_ps(inside, a), _mm_andnot_ps(inside, clipped));
}

inline __m128 select(__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// One biquad section of every output: y = clip((b0 v0 + b1 v1 + b2 v2 - a1 y1 - a2 y2
// + k3 y3) / a0), summed in that order. Lanes outside `live` keep their histories.
inline __m128 runSection(const float (&b)[3][4], __m128 v0, __m128 v1, __m128 v2, float (&y1)[4],
                         float (&y2)[4], float (&y3)[4], __m128 a1, __m128 a2, __m128 k3, __m128 invA0,
                         __m128 live) {
    const __m128 h1 = _mm_loadu_ps(y1), h2 = _mm_loadu_ps(y2), h3 = _mm_loadu_ps(y3);
    __m128 sum = _mm_mul_ps(_mm_loadu_ps(b[0]), v0);
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(b[1]), v1));
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(b[2]), v2));
    sum = _mm_sub_ps(sum, _mm_mul_ps(a1, h1));
    sum = _mm_sub_ps(sum, _mm_mul_ps(a2, h2));
    sum = _mm_add_ps(sum, _mm_mul_ps(k3, h3));
    const __m128 y = softClip(_mm_mul_ps(sum, invA0));
    _mm_storeu_ps(y3, select(live, h2, h3));
    _mm_storeu_ps(y2, select(live, h1, h2));
    _mm_storeu_ps(y1, select(live, y, h1));
    return y;
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

void S212VCF::updateLiveLanes() {
    liveBits = 0;
    for (int o = 0; o < kOutputs; ++o) {
        liveLanes[o] = outputs[o]->connectionCount > 0 ? -1 : 0;
        if (liveLanes[o]) liveBits |= 1 << o;
    }
}

void S212VCF::cableConnected(PatchPoint*) { updateLiveLanes(); }
void S212VCF::cableDisconnected(PatchPoint*) { updateLiveLanes(); }

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
        // Lanes: low-pass, high-pass, band-pass, notch. Stored as whole rows, the way
        // the sections load them, so that a load right after takes the stored row.
        _mm_storeu_ps(coef[0], _mm_setr_ps(lowNumerator, highNumerator, band, 1.f));
        _mm_storeu_ps(coef[1], _mm_setr_ps(1.f - c, -(1.f + c), 0.f, -2.f * c));
        _mm_storeu_ps(coef[2], _mm_setr_ps(lowNumerator, highNumerator, -band, 1.f));
    }
    k3 = h * damping;

    const bool steep = slope->getValue() >= 0.5f;
    x0 = (d + (steep ? 0.7f : 1.f)) * xin;
    // Only outputs with a cable run; the others' histories wait as they are.
    if (liveBits != 0) {
        const __m128 live = _mm_loadu_ps(reinterpret_cast<const float*>(liveLanes));
        const __m128 ka1 = _mm_set1_ps(a1), ka2 = _mm_set1_ps(a2), kk3 = _mm_set1_ps(k3), kInv = _mm_set1_ps(invA0);
        const __m128 in0 = _mm_set1_ps(x0);
        __m128 y = runSection(coef, in0, _mm_set1_ps(x1), _mm_set1_ps(x2), y1[0], y2[0], y3[0], ka1, ka2, kk3, kInv,
                              live);
        if (steep)
            y = runSection(coef, _mm_loadu_ps(y1[0]), _mm_loadu_ps(y2[0]), _mm_loadu_ps(y3[0]), y1[1], y2[1], y3[1],
                           ka1, ka2, kk3, kInv, live);
        // Below 125 Hz the high-pass and notch fade towards the driven input; the
        // histories keep the unfaded values.
        if (fade < 1.f) {
            const __m128 faded = _mm_add_ps(in0, _mm_mul_ps(_mm_set1_ps(fade), _mm_sub_ps(y, in0)));
            const __m128 fading = _mm_castsi128_ps(_mm_setr_epi32(0, -1, 0, -1));
            y = select(fading, faded, y);
        }
        alignas(16) float out[kOutputs];
        _mm_storeu_ps(out, y);
        for (int o = 0; o < kOutputs; ++o)
            if (liveBits & (1 << o)) outputs[o]->outValue = out[o];
    }
    x2 = x1;
    x1 = x0;
}
