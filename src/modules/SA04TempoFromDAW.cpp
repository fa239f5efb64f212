#include "modules/SA04TempoFromDAW.h"

#include <cmath>

#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = kWidth / 2 - 1;
constexpr int kParked = 2147483646;
constexpr float kTicksPerQuarter[5] = {24.f, 8.f, 4.f, 2.f, 1.f};

}  // namespace

SA04TempoFromDAW::SA04TempoFromDAW(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SA04TempoFromDAW.png", kWidth, kHeight)),
      clockCountdown(kParked) {
    // The restart jack always wears the first jack bitmap, so it takes no random draw.
    restartIn = legend(addJackWith("patchpoint1.png", kCentreX, 76, kJackInput), "RESTART");
    divisor = legend(addKnobWith("sknobit_gray_5s.png", SharedBitmaps::kSmallKnobSize, kCentreX, 156, 1.f), "DIV");
    divisor->setStepped(true);
    divisor->snap();
    clockOut = legend(addJack(kCentreX, 199, kJackOutput), "CLOCK");
    clockLed = addLight("led_blue.png", kCentreX - 2, 222);
    addScrews();
    setJackValues(0.f);

    tempo = synth->timeInfo(vst::kVstTempoValid)->tempo;
    ticksPerQuarter = divisorTicks();
    updateRate();
    registerForBlocks();
}

float SA04TempoFromDAW::divisorTicks() const {
    const int position = (int)(divisor->steppedValue * 4.f + 0.5f);
    return kTicksPerQuarter[position < 0 ? 0 : position > 4 ? 4 : position];
}

void SA04TempoFromDAW::updateRate() {
    ticksPerCall = (double)ticksPerQuarter * tempo / samplesPerMinute;
    // 30 % of a tick; never 0, which would hold the clock high for ever.
    const double w = 0.3 / ticksPerCall;
    pulseWidth = w >= (double)kParked ? kParked : w >= 1.0 ? (int)w : 1;
}

void SA04TempoFromDAW::setClock(float v) {
    clockOut->outValue = v;
    showLight(clockLed, v);
}

void SA04TempoFromDAW::startPulse() {
    setClock(1.f);
    clockCountdown = pulseWidth;
}

// Audio thread, lock held.
void SA04TempoFromDAW::startBlock(int) {
    tempo = synth->timeInfo(vst::kVstTempoValid)->tempo;
    ticksPerQuarter = divisorTicks();
    updateRate();
}

// Audio thread, lock held.
void SA04TempoFromDAW::process() {
    const float restart = restartIn->inValue;
    if (previousRestart < 0.25f && restart >= 0.25f) {
        if (clockOut->outValue >= 0.25f) {
            // Drop for this one call so the new pulse has an edge of its own.
            phase = 1.0;
            setClock(0.f);
        } else {
            phase = 0.0;
            startPulse();
        }
        previousRestart = 1.f;
        return;
    }
    previousRestart = restart;
    phase += ticksPerCall;
    if (phase >= 1.0) {
        phase -= 1.0;
        startPulse();
        return;
    }
    if (--clockCountdown == 0) {
        setClock(0.f);
        clockCountdown = kParked;
    }
}

void SA04TempoFromDAW::controlChanged(CControl* control) {
    if (control == divisor) divisor->updateStepped();
}

void SA04TempoFromDAW::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    setClock(clockOut->outValue);
}

void SA04TempoFromDAW::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    updateRate();
}
