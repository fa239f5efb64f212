#include "modules/S516RSH.h"

#include <cstring>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kRightJackX = 63, kJackX = 17;
constexpr float kHigh = 0.25f;
// Samples since the last clock edge stop here instead of wrapping negative.
constexpr int32_t kCounterCap = 2147483646;
constexpr int kExtraBytes = 4;
// Records from before this version end with the controls.
constexpr int kFirstVersionWithClockRate = 1001;

}  // namespace

S516RSH::S516RSH(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S516RSH.png", kWidth, kHeight)) {
    rate = legend(addKnob(kKnobX, 55, 0.5f), "RATE");
    rateDepth = legend(addKnob(kKnobX, 98, 0.f), "CV");
    gateOut = legend(addJack(kRightJackX, 144, kJackOutput), "GATE");
    maxOut = legend(addJack(kRightJackX, 187, kJackOutput), "MAX");
    minOut = legend(addJack(kRightJackX, 230, kJackOutput), "MIN");
    clockIn = legend(addJack(kJackX, 58, kJackInput), "CLOCK");
    rateCvIn = legend(addJack(kJackX, 101, kJackInput), "RATE CV");
    randOut = legend(addJack(kJackX, 144, kJackInput), "RAND");
    randOut->direction = kJackOutput;
    sampleIn = legend(addJack(kJackX, 187, kJackInput), "SMP IN");
    holdOut = legend(addJack(kJackX, 230, kJackInput), "S&H");
    holdOut->direction = kJackOutput;
    plusLed = addLight("led_red.png", 16, 258);
    minusLed = addLight("led_red.png", 16, 267);
    addScrews();
    setJackValues(0.f);
    currentTarget = randomTarget();
}

float S516RSH::randomTarget() { return (float)(nextRandom() * 2.0 - 1.0); }

void S516RSH::cableConnected(PatchPoint*) { resync = true; }

void S516RSH::cableDisconnected(PatchPoint* jack) {
    if (jack != clockIn) return;
    clockRate = 0.0;
    previousClock = jack->inValue;
}

// Audio thread, lock held.
void S516RSH::process() {
    if (knobs.moving()) {
        rate->smoothToValue();
        rateDepth->smoothToValue();
        knobs.settle(rate, rateDepth);
    }

    const float clock = clockIn->inValue;
    const float sample = sampleIn->inValue;
    if (previousClock < kHigh && clock >= kHigh) {
        clockRate = 1.0 / (double)(float)clockCounter;
        clockCounter = 1;
        if (resync) {
            previousTarget = currentTarget;
            phase = 0.0;
            currentTarget = randomTarget();
            resync = false;
        }
        holdOut->outValue = sample;
        maxOut->outValue = sample;
        minOut->outValue = sample;
        showLight(plusLed, sample);
        showLight(minusLed, -sample);
    } else {
        if (clockCounter < kCounterCap) ++clockCounter;
        if (sample > maxOut->outValue)
            maxOut->outValue = sample;
        else if (sample < minOut->outValue)
            minOut->outValue = sample;
    }
    previousClock = clock;

    double r;
    if (clockIn->connectionCount > 0) {
        r = clockRate;
    } else {
        const double s = (double)rateCvIn->inValue * rateDepth->smoothedValue + rate->smoothedValue;
        const double s2 = s * s;
        r = (s2 * s2 * s2 * 7999.99 + 0.01) / sampleRate;
    }
    r = r < 0.0 ? 0.0 : r > 1.0 ? 1.0 : r;

    const double c = (1.0 - phase) * previousTarget + phase * currentTarget;
    randOut->outValue = (float)c;
    phase += r;
    if (phase >= 1.0) {
        phase -= 1.0;
        previousTarget = currentTarget;
        currentTarget = randomTarget();
        gateOut->outValue = c > 0.6 ? 1.f : c < -0.6 ? -1.f : 0.f;
    }
}

int S516RSH::getStateSize() { return Module::getStateSize() + kExtraBytes; }

void S516RSH::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const float stored = (float)clockRate;
    saveAfterControls(buffer, byteCount, &stored, 1);
}

void S516RSH::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    float stored;
    // A measured rate is one cycle per clock period of at least one sample, or 0 before
    // any clock: a non-number would stop the phase for good.
    if (version >= kFirstVersionWithClockRate && loadAfterControls(words, byteCount, &stored, 1))
        clockRate = keptInRange(stored, 0.f, 1.f, 0.f);
}
