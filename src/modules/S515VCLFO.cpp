#include "modules/S515VCLFO.h"

#include <cmath>
#include <cstring>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kJackX = 17;
constexpr float kHigh = 0.25f;
// Samples since the last clock edge stop here instead of wrapping negative.
constexpr int32_t kCounterCap = 2147483646;
constexpr int kExtraBytes = 4;

}  // namespace

S515VCLFO::S515VCLFO(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S515VCLFO.png", kWidth, kHeight)) {
    rate = legend(addKnob(kKnobX, 55, 0.5f), "RATE");
    rateDepth = legend(addKnob(kKnobX, 98, 0.f), "CV");
    step = legend(addKnob(kKnobX, 141, 0.f), "STEP");
    waveformKnob = legend(addKnobWith("sknobit_gray_7s2.png", SharedBitmaps::kSmallKnobSize, kKnobX, 227, 0.f), "WAVE");
    waveformKnob->setStepped(true);
    waveformKnob->snap();
    clockIn = legend(addJack(kJackX, 58, kJackInput), "CLOCK");
    rateCvIn = legend(addJack(kJackX, 101, kJackInput), "RATE CV");
    stepCvIn = legend(addJack(kJackX, 144, kJackInput), "STEP CV");
    restartIn = legend(addJack(kJackX, 187, kJackInput), "RESTART");
    out = legend(addJack(kJackX, 230, kJackOutput), "OUT");
    range = legend(addSwitch(kKnobX, 186, 2, 1.f), "HIGH/LOW");
    led = addLight("led_red.png", 16, 253);
    addScrews();
    setJackValues(0.f);
    updateWaveform();
}

void S515VCLFO::updateWaveform() {
    appliedStep = waveformKnob->steppedValue;
    const int w = (int)(appliedStep * 6.f + 0.01f);
    // A damaged preset or a host value out of range must not pick a shape that is not there.
    waveform = w < 0 ? 0 : w > 6 ? 6 : w;
}

void S515VCLFO::controlChanged(CControl* control) {
    if (control != waveformKnob) return;
    waveformKnob->updateStepped();
    updateWaveform();
}

void S515VCLFO::cableDisconnected(PatchPoint* jack) {
    if (jack != clockIn) return;
    clockRate = 0.0;
    previousClock = jack->inValue;
}

// Jumps last exactly one increment, so the saw and square edges take one sample.
double S515VCLFO::shape(double p, double inc) const {
    switch (waveform) {
        case 0:
            return p >= inc ? 2.0 * p - 1.0 : 1.0 - 2.0 * p / inc;
        case 1:
            return p >= inc ? 1.0 - 2.0 * p : 2.0 * p / inc - 1.0;
        case 2: {
            const double a = p <= 0.5 ? 4.0 * p - 1.0 : 4.0 * p - 3.0;
            return p <= 0.5 ? 1.0 - a * a : a * a - 1.0;
        }
        case 3:
            if (p < 0.5) return p >= inc ? 1.0 : 2.0 * p / inc - 1.0;
            return p - 0.5 >= inc ? -1.0 : 1.0 - 2.0 * (p - 0.5) / inc;
        case 4:
            return p <= 0.5 ? 4.0 * p - 1.0 : 1.0 - 4.0 * (p - 0.5);
        case 5:
            if (p <= 0.5) return 4.0 * p - 1.0;
            if (p <= 2.0 / 3.0) return 1.0 - 12.0 * (p - 0.5);
            if (p <= 5.0 / 6.0) return 12.0 * (p - 2.0 / 3.0) - 1.0;
            return 1.0 - 12.0 * (p - 5.0 / 6.0);
        default: {
            if (p <= 1.0 / 3.0) return p >= inc ? 6.0 * p - 1.0 : 1.0 - 2.0 * p / inc;
            if (p <= 2.0 / 3.0) {
                const double q = p - 1.0 / 3.0;
                return q >= inc ? -1.0 : 1.0 - 2.0 * q / inc;
            }
            const double q = p - 2.0 / 3.0;
            return q >= inc ? 1.0 : 2.0 * q / inc - 1.0;
        }
    }
}

// Audio thread, lock held.
void S515VCLFO::process() {
    if (knobs.moving()) {
        rate->smoothToValue();
        rateDepth->smoothToValue();
        step->smoothToValue();
        knobs.settle(rate, rateDepth, step);
    }
    // Knob Paste moves the waveform knob without controlChanged.
    if (waveformKnob->steppedValue != appliedStep) updateWaveform();

    const float clock = clockIn->inValue;
    if (previousClock < kHigh && clock >= kHigh) {
        clockRate = 1.0 / (double)(float)clockCounter;
        clockCounter = 1;
    } else if (clockCounter < kCounterCap) {
        ++clockCounter;
    }
    previousClock = clock;

    const double r = rate->smoothedValue;
    const double s = (double)rateCvIn->inValue * rateDepth->smoothedValue + r * r * r;
    double inc;
    if (range->getValue() > 0.f)
        inc = s * 25.0 / sampleRate + clockRate;
    else if (clockIn->connectionCount > 0)
        inc = s * 1700.0 / sampleRate + 2.0 * clockRate;
    else
        inc = (s * 1686.0 + 14.0) / sampleRate;
    inc = inc < 0.0 ? 0.0 : inc > 0.5 ? 0.5 : inc;

    const float restart = restartIn->inValue;
    if (previousRestart < kHigh && restart >= kHigh) phase = inc;
    previousRestart = restart;

    const double m = shape(phase, inc);
    phase += inc;
    if (phase >= 1.0) phase -= 1.0;

    double g = stepCvIn->connectionCount > 0 ? (double)stepCvIn->inValue * step->smoothedValue : step->smoothedValue;
    g = g < -0.999 ? -0.999 : g > 0.999 ? 0.999 : g;
    // trunc rather than an int cast: a tiny step would overflow the integer.
    const float v = (float)(g != 0.0 ? std::trunc(m / g) * g : m);
    out->outValue = v;
    showLight(led, v);
}

int S515VCLFO::getStateSize() { return Module::getStateSize() + kExtraBytes; }

void S515VCLFO::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const float stored = (float)clockRate;
    saveAfterControls(buffer, byteCount, &stored, 1);
}

void S515VCLFO::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    float stored;
    // A measured rate is one cycle per clock period of at least one sample, or 0 before
    // any clock: a non-number would stop the phase for good.
    if (loadAfterControls(words, byteCount, &stored, 1)) clockRate = keptInRange(stored, 0.f, 1.f, 0.f);
}
