#include "modules/SB12RachetTrigSeq.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "framework/StepTracks.h"

namespace {
constexpr int kWidth = 276, kHeight = 291;
constexpr int kStepX[4] = {75, 123, 171, 219};
constexpr int kStepY[4] = {55, 98, 141, 184};
constexpr int kInX = 29, kOutX = 259;
constexpr int kPeriodBytes = 4;
constexpr float kStepsPerSecond = 40.f;
constexpr float kClockDefault = 0.0001f;

using namespace StepTracks;

}  // namespace

SB12RachetTrigSeq::SB12RachetTrigSeq(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor,
             SharedBitmaps::panel("SB12RachetTrigSeq.png", kWidth, kHeight)),
      steps(new ModuleKnobEx*[kSteps]), leds(new CMovieBitmapEx*[kSteps]) {
    for (int i = 0; i < kSteps; ++i) {
        steps[i] = legend(addStepKnob("sknobit_gray_11s.png", SharedBitmaps::kSmallKnobSize, kStepX[i % 4], kStepY[i / 4], i),
                std::to_string(i + 1));
        steps[i]->setStepped(true);
        steps[i]->snap();
    }
    for (int i = 0; i < kSteps; ++i) {
        leds[i] = addStepLight("led_blue.png", kStepX[i % 4] + 14, kStepY[i / 4] - 12);
        steps[i]->companion = leds[i];
    }
    length = legend(addKnob(27, 55, 0.5f), "LENGTH");
    clockKnob = legend(addKnob(27, 98, kClockDefault), "RATE");
    clockIn = legend(addJack(kInX, 144, kJackInput), "CLOCK");
    resetIn = legend(addJack(kInX, 187, kJackInput), "RESET");
    resetButton = legend(addKickButton(29, 225), "RESET");
    startPause = legend(addOnOffButton(29, 261), "RUN");
    for (int i = 0; i < 4; ++i) outs[i] = legend(addJack(kOutX, 58 + 43 * i, kJackOutput),
            "OUT " + std::to_string(i + 1));
    mixOut = legend(addJack(kOutX, 230, kJackOutput), "MIX");
    swingKnob = legend(addKnobWith("sknobit_gray.png", SharedBitmaps::kSmallKnobSize, 75, 241, 0.f), "SWING");
    skipKnob = legend(addKnobWith("sknobit_gray_5s.png", SharedBitmaps::kSmallKnobSize, 123, 241, 0.f), "SKIP");
    skipKnob->setStepped(true);
    skipKnob->snap();
    directionSwitch = legend(addSwitch(171, 244, 3, 0.f), "DIR");
    modeSwitch = legend(addSwitch(219, 244, 3, 0.f), "MODE");
    addScrews();
    addScrewsRight();
    setJackValues(0.f);
    rateFactor = (double)kStepsPerSecond / (double)sampleRate;
    phaseStep = rateFactor * (double)kClockDefault * (double)kClockDefault;
    goToStartPositions();
}

SB12RachetTrigSeq::~SB12RachetTrigSeq() {
    // The views themselves belong to the panel.
    delete[] steps;
    delete[] leds;
}

void SB12RachetTrigSeq::light(int step, float v) { showLight(leds[step], v); }

// A count that never saw two edges (or a damaged stored one) is no period: the phase
// then stands still, so the step's first sub-pulse holds until the next edge.
void SB12RachetTrigSeq::setPeriod(int32_t samples) {
    if (samples < 1 || samples >= kNoPeriod) {
        clockPeriod = kNoPeriod;
        phaseStep = 0.0;
    } else {
        clockPeriod = samples;
        phaseStep = 1.0 / (double)samples;
    }
}

void SB12RachetTrigSeq::goToStartPositions() {
    for (int c : cursor) light(c, 0.f);
    for (int i = 0; i < 4; ++i) cursor[i] = 4 * i + 3;
    const int mode = threeWay(modeSwitch->getValue());
    light(15, 1.f);
    if (mode != kMode16x1) light(7, 1.f);
    if (mode == kMode4x4) {
        light(3, 1.f);
        light(11, 1.f);
    }
    mixOut->outValue = 0.f;
    for (int i = 0; i < 4; ++i) {
        current[i] = ratchets[cursor[i]];
        outs[i]->outValue = 0.f;
    }
    phase = 1.0;
    holding = false;
}

void SB12RachetTrigSeq::advanceCursors() {
    StepTracks::advance(cursor, pingPong, threeWay(modeSwitch->getValue()), directionCode,
                        [this](int step, float v) { light(step, v); });
    for (int i = 0; i < 4; ++i) current[i] = ratchets[cursor[i]];
}

void SB12RachetTrigSeq::writeOutputs() {
    length->smoothToValue();
    const float len = (float)length->smoothedValue;
    float any = 0.f;
    for (int k = 0; k < 4; ++k) {
        const float r = current[k];
        float out = 0.f;
        if (r > 0.f) {
            const double a = r * phase;
            const int n = (int)a;
            const float f = (float)(a - n);
            if ((n + 1) % skipPeriod != 0) {
                out = len >= f ? 1.f : 0.f;
            } else {
                // The swung sub-pulse starts late but still ends with its sub-period.
                const float g = f - swing;
                out = g >= 0.f && len >= g ? 1.f : 0.f;
            }
        }
        outs[k]->outValue = out;
        any = std::max(any, out);
    }
    mixOut->outValue = any;
}

// Audio thread, lock held.
void SB12RachetTrigSeq::process() {
    const float clock = clockIn->inValue, reset = resetIn->inValue;
    const bool resetCabled = resetIn->connectionCount > 0;
    if (!resetCabled && startPause->getValue() < 0.5f) {
        prevClock = clock;
        prevReset = 0.f;
        return;
    }
    if (resetCabled && reset > 0.15f) {
        if (prevReset <= 0.15f) clockCounter = clockPeriod;
        if (prevReset < 0.25f && reset >= 0.25f) goToStartPositions();
        prevClock = clock;
        prevReset = reset;
        return;
    }
    if (clockIn->connectionCount == 0) {
        clockKnob->smoothToValue();
        const double v = clockKnob->smoothedValue;
        phaseStep = rateFactor * v * v;
        phase += phaseStep;
        if (phase >= 1.0) {
            // Keeping the remainder holds the average rate at 40 v^2 steps per second
            // even where a step is not a whole number of samples.
            phase -= 1.0;
            if (phase >= 1.0) phase = 0.0;
            advanceCursors();
        }
    } else if (clock >= 0.25f && prevClock < 0.25f) {
        setPeriod(clockCounter);
        clockCounter = 1;
        phase = 0.0;
        advanceCursors();
        if (holding) {
            // The held first sub-pulse falls for this one sample, so the new step's
            // first pulse is a trigger of its own.
            holding = phaseStep == 0.0;
            for (PatchPoint* o : outs) o->outValue = 0.f;
            mixOut->outValue = 0.f;
            prevClock = clock;
            prevReset = reset;
            return;
        }
        holding = phaseStep == 0.0;
    } else {
        // Saturates: a clock that stops for hours must not wrap the count around.
        if (clockCounter < kNoPeriod) ++clockCounter;
        phase += phaseStep;
        if (phase >= 1.0) {
            prevClock = clock;
            prevReset = reset;
            return;
        }
    }
    writeOutputs();
    prevClock = clock;
    prevReset = reset;
}

void SB12RachetTrigSeq::controlChanged(CControl* control) {
    if (control == modeSwitch || control == resetButton) {
        goToStartPositions();
    } else if (control == directionSwitch) {
        const int d = threeWay(directionSwitch->getValue());
        directionCode = d + 1;
        if (d == 0) pingPong = 1;
        else if (d == 1) pingPong = -1;
    } else if (control == skipKnob) {
        skipKnob->updateStepped();
        skipPeriod = (int32_t)(skipKnob->steppedValue * 4.f + 2.f);
    } else if (control == swingKnob) {
        swing = swingKnob->getValue();
    } else if (control->isTypeOf("ModuleKnobEx")) {
        const int step = static_cast<ModuleKnobEx*>(control)->stepIndex;
        if (step < 0 || step >= kSteps || steps[step] != control) return;
        const bool running = resetIn->inValue <= 0.15f &&
                             (resetIn->connectionCount > 0 || startPause->getValue() >= 0.5f) && phaseStep != 0.0;
        if (!running) {
            light(editStep, 0.f);
            for (int c : cursor) light(c, 0.f);
            light(step, 1.f);
        }
        editStep = step;
        steps[step]->updateStepped();
        // Rounded: a stepped value times ten may land a hair below the whole count.
        ratchets[step] = std::round(steps[step]->steppedValue * 10.f);
    }
}

void SB12RachetTrigSeq::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    rateFactor = (double)kStepsPerSecond / (double)rate;
}

void SB12RachetTrigSeq::cableConnected(PatchPoint* jack) {
    if (jack != clockIn) return;
    // The internal clock's step length is the first guess at the period; clamped,
    // since a nearly stopped internal clock would not fit in the count.
    const double samples = phaseStep != 0.0 ? std::trunc(1.0 / phaseStep) : (double)kNoPeriod;
    clockCounter = (int32_t)std::min(samples, (double)kNoPeriod);
}

void SB12RachetTrigSeq::cableDisconnected(PatchPoint* jack) {
    if (jack == clockIn) clockKnob->snap();
}

int SB12RachetTrigSeq::getStateSize() { return Module::getStateSize() + kPeriodBytes; }

void SB12RachetTrigSeq::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const int offset = Module::getStateSize();
    if (byteCount >= offset + kPeriodBytes)
        std::memcpy(reinterpret_cast<uint8_t*>(buffer) + offset, &clockPeriod, kPeriodBytes);
}

void SB12RachetTrigSeq::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    for (int i = 0; i < kSteps; ++i) light(i, 0.f);
    goToStartPositions();
    const int offset = Module::getStateSize();
    if (byteCount >= offset + kPeriodBytes) {
        int32_t period;
        std::memcpy(&period, reinterpret_cast<const uint8_t*>(words) + offset, kPeriodBytes);
        setPeriod(period);
        clockCounter = clockPeriod;
    }
}
