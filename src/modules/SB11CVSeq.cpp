#include "modules/SB11CVSeq.h"

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
constexpr int kInX = 29, kOutX = 259, kSwitchY = 244;
constexpr int kPeriodBytes = 4;
// Records before this version carry no clock period.
constexpr int kPeriodRecord = 1001;

using namespace StepTracks;

}  // namespace

SB11CVSeq::SB11CVSeq(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SB11CVSeq.png", kWidth, kHeight)),
      steps(new ModuleKnobEx*[kSteps]), leds(new CMovieBitmapEx*[kSteps]) {
    for (int i = 0; i < kSteps; ++i) {
        steps[i] = legend(addStepKnob("minibrute_knob_s.png", SharedBitmaps::kKnobSize, kStepX[i % 4], kStepY[i / 4], i),
                std::to_string(i + 1));
    }
    for (int i = 0; i < kSteps; ++i) {
        leds[i] = addStepLight("led_blue.png", kStepX[i % 4] + 18, kStepY[i / 4] - 17);
        steps[i]->companion = leds[i];
    }
    length = legend(addKnob(27, 184, 0.5f), "LENGTH");
    transposeKnob = legend(addKnobWith("sknobit_gray_13s_fs.png", SharedBitmaps::kSmallKnobSize, 27, 232, 0.5f),
            "TRANSP");
    transposeKnob->setStepped(true);
    transposeKnob->snap();
    clockIn = legend(addJack(kInX, 58, kJackInput), "CLOCK");
    resetIn = legend(addJack(kInX, 101, kJackInput), "RESET");
    lengthCv = legend(addJack(kInX, 144, kJackInput), "LEN CV");
    for (int i = 0; i < 4; ++i) outs[i] = legend(addJack(kOutX, 58 + 43 * i, kJackOutput),
            "OUT " + std::to_string(i + 1));
    gateOut = legend(addJack(kOutX, 230, kJackOutput), "GATE");
    rangeSwitch = legend(addSwitch(75, kSwitchY, 3, 0.f), "RANGE");
    directionSwitch = legend(addSwitch(123, kSwitchY, 3, 0.f), "DIR");
    quantizeSwitch = legend(addSwitch(171, kSwitchY, 2, 0.f), "QUANT");
    modeSwitch = legend(addSwitch(219, kSwitchY, 3, 0.f), "MODE");
    addScrews();
    addScrewsRight();
    setJackValues(0.f);
    goToStartPositions();
}

SB11CVSeq::~SB11CVSeq() {
    // The views themselves belong to the panel.
    delete[] steps;
    delete[] leds;
}

bool SB11CVSeq::quantizeOn() const { return quantizeSwitch->getValue() < 0.5f; }

bool SB11CVSeq::previewing() const { return resetIn->inValue >= 0.25f || clockIn->connectionCount == 0; }

float SB11CVSeq::stepValue(float v) const {
    return quantizeOn() ? std::trunc(v * semitoneRange) / 120.f + transpose : rangeScale * v + transpose;
}

void SB11CVSeq::light(int step, float v) { showLight(leds[step], v); }

// A period that was never measured (or a damaged stored one) holds the gate high
// until the next edge instead of dividing by it.
void SB11CVSeq::setPeriod(int32_t samples) {
    if (samples < 1 || samples >= kNoPeriod) {
        clockPeriod = kNoPeriod;
        phaseStep = 0.f;
    } else {
        clockPeriod = samples;
        phaseStep = 1.f / (float)samples;
    }
}

void SB11CVSeq::showEditStep() {
    const ModuleKnob* k = steps[editStep];
    const float v = quantizeOn() ? std::trunc(k->getValue() * semitoneRange) / 120.f + transpose
                                 : rangeScale * (float)k->smoothedValue + transpose;
    for (PatchPoint* o : outs) o->outValue = v;
}

void SB11CVSeq::goToStartPositions() {
    for (int c : cursor) light(c, 0.f);
    for (int i = 0; i < 4; ++i) cursor[i] = 4 * i + 3;
    const int mode = threeWay(modeSwitch->getValue());
    light(15, 1.f);
    if (mode != kMode16x1) light(7, 1.f);
    if (mode == kMode4x4) {
        light(3, 1.f);
        light(11, 1.f);
    }
    for (int i = 0; i < 4; ++i) {
        steps[cursor[i]]->snap();
        outs[i]->outValue = stepValue(steps[cursor[i]]->getValue());
    }
    gateOut->outValue = 0.f;
    // The running step's gate is over: it rises again only on a clock edge.
    gatePhase = 1.f;
}

void SB11CVSeq::playCursors() {
    for (int i = 0; i < 4; ++i) {
        ModuleKnobEx* k = steps[cursor[i]];
        // Steps play without glide from the previous knob position; quantised ones too,
        // or a glide of the touched knob would recompute every out from stale values.
        k->snap();
        outs[i]->outValue = stepValue(k->getValue());
    }
}

void SB11CVSeq::advanceCursors() {
    StepTracks::advance(cursor, pingPong, threeWay(modeSwitch->getValue()), directionCode,
                        [this](int step, float v) { light(step, v); });
}

// True while the knob touched last is still gliding toward its value.
bool SB11CVSeq::smoothEditStep() {
    ModuleKnobEx* k = steps[editStep];
    const double before = k->smoothedValue;
    k->smoothToValue();
    return k->smoothedValue != before;
}

// Audio thread, lock held.
void SB11CVSeq::process() {
    length->smoothToValue();
    const float clock = clockIn->inValue, reset = resetIn->inValue;
    if (reset > 0.15f) {
        if (prevReset <= 0.15f) clockCounter = clockPeriod;
        if (prevReset < 0.25f && reset >= 0.25f) goToStartPositions();
        if (smoothEditStep()) showEditStep();
    } else if (clockIn->connectionCount > 0) {
        if (clock >= 0.25f && prevClock < 0.25f) {
            advanceCursors();
            playCursors();
            setPeriod(clockCounter);
            clockCounter = 1;
            gateOut->outValue = gateOut->outValue < 1.f ? 1.f : 0.f;
            gatePhase = 0.f;
        } else {
            if (smoothEditStep()) {
                const bool quantize = quantizeOn();
                for (int i = 0; i < 4; ++i) {
                    const float s = (float)steps[cursor[i]]->smoothedValue;
                    outs[i]->outValue = quantize ? std::trunc(s * semitoneRange) / 120.f + transpose
                                                 : rangeScale * s + transpose;
                }
            }
            // Saturates: a clock that stops for hours must not wrap the count around.
            if (clockCounter < kNoPeriod) ++clockCounter;
            const float len = std::clamp(lengthCv->inValue + (float)length->smoothedValue, 0.f, 1.f);
            if (len * 0.95f <= gatePhase) {
                gateOut->outValue = 0.f;
            } else {
                if (gatePhase == 0.f) gateOut->outValue = 1.f;
                gatePhase += phaseStep;
            }
        }
    } else if (smoothEditStep()) {
        showEditStep();
    }
    prevClock = clock;
    prevReset = reset;
}

void SB11CVSeq::controlChanged(CControl* control) {
    if (control == transposeKnob) {
        transposeKnob->updateStepped();
        transpose = (transposeKnob->steppedValue * 12.f - 6.f) / 120.f;
        if (previewing()) showEditStep();
    } else if (control == rangeSwitch) {
        const int octaves = 1 + 2 * threeWay(rangeSwitch->getValue());
        rangeScale = (float)octaves / 10.f;
        semitoneRange = (float)(octaves * 12);
        if (previewing()) showEditStep();
    } else if (control == quantizeSwitch) {
        if (previewing()) showEditStep();
    } else if (control == modeSwitch) {
        goToStartPositions();
    } else if (control == directionSwitch) {
        const int d = threeWay(directionSwitch->getValue());
        directionCode = d + 1;
        if (d == 0) pingPong = 1;
        else if (d == 1) pingPong = -1;
    } else if (control->isTypeOf("ModuleKnobEx")) {
        const int step = static_cast<ModuleKnobEx*>(control)->stepIndex;
        if (step < 0 || step >= kSteps || steps[step] != control) return;
        if (previewing()) {
            light(editStep, 0.f);
            for (int c : cursor) light(c, 0.f);
            editStep = step;
            light(step, 1.f);
        } else {
            editStep = step;
        }
    }
}

int SB11CVSeq::getStateSize() { return Module::getStateSize() + kPeriodBytes; }

void SB11CVSeq::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    saveAfterControls(buffer, byteCount, &clockPeriod, 1);
}

void SB11CVSeq::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    for (int i = 0; i < kSteps; ++i) light(i, 0.f);
    goToStartPositions();
    int32_t period;
    if (version >= kPeriodRecord && loadAfterControls(words, byteCount, &period, 1)) {
        setPeriod(period);
        clockCounter = clockPeriod;
    }
}
