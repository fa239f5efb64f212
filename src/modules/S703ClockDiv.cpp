#include "modules/S703ClockDiv.h"

#include <algorithm>
#include <cstring>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kFirstOutY = 107, kOutSpacing = 31;
constexpr float kHigh = 0.25f;
constexpr int kCounterBytes = 4 * S703ClockDiv::kOutputs;
// Records up to this version carry no counters.
constexpr int kLastRecordWithoutCounters = 1000;
}  // namespace

S703ClockDiv::S703ClockDiv(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S703ClockDiv.png", kWidth, kHeight)) {
    clockIn = legend(addJack(31, 40, kJackInput), "CLOCK");
    nKnob = legend(addKnobWith("sknobit_gray_5s.png", SharedBitmaps::kSmallKnobSize, 30, 74, 0.f), "N");
    nKnob->setStepped(true);
    nKnob->snap();
    for (int k = 0; k < kOutputs; ++k) outs[k] = legend(addJack(31, kFirstOutY + kOutSpacing * k, kJackOutput),
            "/" + std::to_string(2 << k) + "n");
    for (int k = 0; k < kOutputs; ++k) leds[k] = addLight("led_blue.png", 9, kFirstOutY - 2 + kOutSpacing * k);
    addScrews();
    setJackValues(0.f);
    resetCounters();
}

void S703ClockDiv::resetCounters() {
    for (int k = 0; k < kOutputs; ++k) {
        counters[k] = divisor(k);
        outs[k]->outValue = 0.f;
        showLight(leds[k], 0.f);
    }
}

// Audio thread, lock held.
void S703ClockDiv::process() {
    const float clock = clockIn->inValue;
    if (clock >= kHigh && prevClock < kHigh) {
        for (int k = 0; k < kOutputs; ++k) {
            const int32_t b = counters[k]--;
            if (b == 1) {
                outs[k]->outValue = 1.f;
                showLight(leds[k], 1.f);
                counters[k] = divisor(k);
            } else if (b - 1 == divisor(k) / 2) {
                outs[k]->outValue = 0.f;
                showLight(leds[k], 0.f);
            }
        }
    }
    prevClock = clock;
}

void S703ClockDiv::controlChanged(CControl* control) {
    if (control != nKnob) return;
    nKnob->updateStepped();
    // A damaged record may hold a knob value outside 0..1.
    const int32_t v = std::clamp((int32_t)(nKnob->steppedValue * 4.f + 1.f), 1, 5);
    if (v == n) return;
    n = v;
    if (!loading) resetCounters();
}

int S703ClockDiv::getStateSize() { return Module::getStateSize() + kCounterBytes; }

void S703ClockDiv::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    saveAfterControls(buffer, byteCount, counters, kOutputs);
}

void S703ClockDiv::loadState(const int32_t* words, int byteCount, int version) {
    loading = true;
    Module::loadState(words, byteCount, version);
    loading = false;
    int32_t stored[kOutputs];
    bool usable = version > kLastRecordWithoutCounters && loadAfterControls(words, byteCount, stored, kOutputs);
    if (usable) {
        // A counter outside its cycle would count down past zero for ever and never
        // fire again (and finally overflow), so a damaged set restarts instead.
        for (int k = 0; k < kOutputs; ++k) usable = usable && stored[k] >= 1 && stored[k] <= divisor(k);
    }
    if (!usable) {
        resetCounters();
        return;
    }
    std::memcpy(counters, stored, kCounterBytes);
    // The lights were saved with the record and mirror the outputs, so they give the
    // level each output had when the preset was written.
    for (int k = 0; k < kOutputs; ++k) {
        const float level = leds[k]->getValue() >= 0.5f ? 1.f : 0.f;
        outs[k]->outValue = level;
        showLight(leds[k], level);
    }
}
