#include "modules/S612OctetChorus.h"

#include <cfloat>
#include <cmath>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 144, kHeight = 291;
constexpr int kJackX = 17;
constexpr double kFeedbackScale = 0.95;

// Wraps a read position into [0, n). The single-precision result of a position a
// hair below 0 rounds up to n itself, which is index 0.
inline float wrapRead(double r, int n) {
    if (r < 0.0 && r > -(double)n) {
        r += n;  // what fmod gives for less than one length below 0, without the call
    } else if (r < 0.0 || r >= n) {
        r = std::fmod(r, (double)n);
        if (r < 0.0) r += n;
    }
    float f = (float)r;
    if (!(f < (float)n) || !(f >= 0.f)) f = 0.f;  // rounding up to n, or NaN
    return f;
}

// A parabolic wave between 0 and 1, 0.5 at phase 0, peaking at 0.25.
inline double lfo(double p) {
    if (p <= 0.5) {
        const double a = 4.0 * p - 1.0;
        return 1.0 - 0.5 * a * a;
    }
    const double b = 4.0 * p - 3.0;
    return 0.5 * b * b;
}
}  // namespace

S612OctetChorus::S612OctetChorus(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor,
             SharedBitmaps::panel("S612OctetChorus.png", kWidth, kHeight)) {
    depthAmount = legend(addKnob(62, 98, 0.f), "DEPTH");
    rateAmount = legend(addKnob(62, 141, 0.f), "RATE");
    stereo = legend(addKnob(62, 184, 1.f), "STEREO");
    feedback = legend(addKnob(110, 55, 0.f), "FB");
    depth = legend(addKnob(110, 98, 0.052f), "DEPTH");
    rate = legend(addKnob(110, 141, 0.1075f), "RATE");
    mix = legend(addKnob(110, 184, 0.5f), "MIX");
    lines = legend(addKnobWith("sknobit_gray_7s2.png", SharedBitmaps::kSmallKnobSize, 25, 225, 0.f), "LINES");
    lines->setStepped(true);
    lines->snap();
    inL = legend(addJack(kJackX, 58, kJackInput), "IN L");
    depthCvIn = legend(addJack(kJackX, 101, kJackInput), "DEP CV");
    rateCvIn = legend(addJack(kJackX, 144, kJackInput), "RATE CV");
    stereoCvIn = legend(addJack(kJackX, 187, kJackInput), "ST CV");
    inR = legend(addJack(62, 58, kJackInput), "IN R");
    outL = legend(addJack(70, 238, kJackOutput), "OUT L");
    outR = legend(addJack(112, 238, kJackOutput), "OUT R");
    clip.attach(addLight("led_red.png", 10, 262));
    addScrews();
    addScrewsRight();
    setJackValues(0.f);

    ringSize = ringLength(sampleRate);
    for (auto& ring : rings) ring.assign((size_t)ringSize, 0.f);
    minDelay = (double)sampleRate * 0.001;
    clip.setSampleRate(sampleRate);
    controlChanged(lines);
    applyLineCount(requestedLines.load(std::memory_order_relaxed));
}

void S612OctetChorus::controlChanged(CControl* control) {
    if (control != lines) return;
    lines->updateStepped();
    requestedLines.store((int)(lines->steppedValue * 6.f + 0.01f) + 2, std::memory_order_relaxed);
}

// The phases are respread where they are read, so the editor thread never writes them.
void S612OctetChorus::applyLineCount(int n) {
    lineCount = n < 2 ? 2 : n > kMaxLines ? kMaxLines : n;
    for (int i = 1; i < lineCount; ++i) {
        phases[i] = phases[i - 1] + 1.0 / lineCount;
        if (phases[i] >= 1.0) phases[i] -= 1.0;
    }
    updateLimits();
}

void S612OctetChorus::updateLimits() {
    rateMax = 40.0 / (lineCount * (double)sampleRate);
    rateMin = 0.2 / (lineCount * (double)sampleRate);
    spanStep = -1.0;  // the span is computed again
}

void S612OctetChorus::setSampleRate(float newRate) {
    Module::setSampleRate(newRate);
    ringSize = ringLength(sampleRate);
    for (auto& ring : rings) ring.resize((size_t)ringSize, 0.f);
    minDelay = (double)sampleRate * 0.001;
    updateLimits();
    clip.setSampleRate(sampleRate);
}

// Audio thread, lock held.
void S612OctetChorus::process() {
    const int wanted = requestedLines.load(std::memory_order_relaxed);
    if (wanted != lineCount) applyLineCount(wanted);
    if (knobs.moving()) {
        depthAmount->smoothToValue();
        rateAmount->smoothToValue();
        stereo->smoothToValue();
        feedback->smoothToValue();
        depth->smoothToValue();
        rate->smoothToValue();
        mix->smoothToValue();
        knobs.settle(depthAmount, rateAmount, stereo, feedback, depth, rate, mix);
    }

    const float left = inL->inValue;
    const float right = inR->connectionCount > 0 ? inR->inValue : left;
    const double s = stereoCvIn->connectionCount > 0 ? 1.0 - stereoCvIn->inValue * stereo->smoothedValue
                                                     : 1.0 - stereo->smoothedValue;

    const double ra = rateAmount->smoothedValue, rk = rate->smoothedValue;
    double q = rateCvIn->inValue * ra * ra + rk * rk;
    if (!(q > 0.0)) q = 0.0;
    const double step = rateMin + (rateMax - rateMin) * q;
    double dep = depthCvIn->inValue * depthAmount->smoothedValue + depth->smoothedValue;
    dep = dep > 1.0 ? 1.0 : dep > 0.0 ? dep : 0.0;
    // The division and the products change only with the rate and the depth.
    if (step != spanStep || dep != spanDepth) {
        spanStep = step;
        spanDepth = dep;
        span = (ringSize - 1 - minDelay) * (rateMin / step) * dep * 0.125 * lineCount;
    }

    if (++writeIndex >= ringSize) writeIndex = 0;
    const float z = (float)(nextRandomSeed() * 4.656612873077393e-10 * 2e-13 - 1e-13);
    const float g = (float)(feedback->smoothedValue * kFeedbackScale);

    float sumL = 0.f, sumR = 0.f;
    for (int i = 0; i < lineCount; ++i) {
        double& p = phases[i];
        const float r = wrapRead(writeIndex - (span * lfo(p) + minDelay), ringSize);
        float* ring = rings[i].data();
        const int a = (int)r;
        const int b = a + 1 < ringSize ? a + 1 : 0;
        const float frac = r - (float)a;
        const float v = (1.f - frac) * ring[a] + frac * ring[b];
        const bool even = (i & 1) == 0;
        ring[writeIndex] = v * g + (even ? left : right) + z;
        if (even) {
            sumL += v;
            sumR += v * (float)s;
        } else {
            sumL += v * (float)s;
            sumR += v;
        }
        p += step;
        // A rate CV beyond any sense (or not a number) could carry the phase out of 0..1.
        if (!(p < 1.0)) {
            p -= 1.0;
            if (!(p >= 0.0 && p < 1.0)) p = 0.0;
        }
    }

    const double m = mix->smoothedValue;
    const double c = m >= 0.5 ? (1.5 - m) * 2.0 : (m + 0.5) * 2.0;
    const double wl = ((1.0 - m) * left + m * sumL) * c;
    const double wr = ((1.0 - m) * right + m * sumR) * c;
    const double yl = (wl - dcInL) + 0.999 * dcOutL;
    const double yr = (wr - dcInR) + 0.999 * dcOutR;
    dcInL = wl;
    dcInR = wr;
    // Fed a constant (silence included), the blockers' memory decays towards zero and,
    // below the smallest normal double, would sit there for good at a hundred cycles
    // an operation. What is dropped is far below anything a float output can hold, and
    // too small to move the next value.
    dcOutL = std::fabs(yl) < DBL_MIN ? 0.0 : yl;
    dcOutR = std::fabs(yr) < DBL_MIN ? 0.0 : yr;
    outL->outValue = clip.limit((float)yl);
    outR->outValue = clip.limit((float)yr);
    clip.tick();
}
