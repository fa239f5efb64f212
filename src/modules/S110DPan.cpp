#include "modules/S110DPan.h"

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kJackX = 17, kKnobX = 62;
}  // namespace

S110DPan::S110DPan(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S110DPan.png", kWidth, kHeight)) {
    in1 = legend(addJack(kJackX, 58, kJackInput), "IN 1");
    cv1 = legend(addJack(kJackX, 101, kJackInput), "CV 1");
    in2 = legend(addJack(kJackX, 144, kJackInput), "IN 2");
    cv2 = legend(addJack(kJackX, 187, kJackInput), "CV 2");
    outL = legend(addJack(24, 235, kJackOutput), "OUT L");
    outR = legend(addJack(70, 235, kJackOutput), "OUT R");
    pan1 = legend(addKnob(kKnobX, 55, 0.5f), "PAN 1");
    cvAmount1 = legend(addKnob(kKnobX, 98, 0.f), "AMT 1");
    pan2 = legend(addKnob(kKnobX, 141, 0.5f), "PAN 2");
    cvAmount2 = legend(addKnob(kKnobX, 184, 0.f), "AMT 2");
    left1 = addLight("led_red.png", 6, 39);
    right1 = addLight("led_red.png", 29, 39);
    // A light that stays dark under right indicator 2: stored presets hold its value.
    addLight("led_red.png", 29, 125);
    left2 = addLight("led_red.png", 6, 125);
    right2 = addLight("led_red.png", 29, 125);
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S110DPan::process() {
    if (knobs.moving()) {
        pan1->smoothToValue();
        cvAmount1->smoothToValue();
        pan2->smoothToValue();
        cvAmount2->smoothToValue();
        knobs.settle(pan1, cvAmount1, pan2, cvAmount2);
    }
    const float p1 = cv1->inValue * (float)cvAmount1->smoothedValue + (float)pan1->smoothedValue;
    const float p2 = cv2->inValue * (float)cvAmount2->smoothedValue + (float)pan2->smoothedValue;
    // Linear law, not limited: a CV past the ends gives one negative gain.
    showLight(right1, p1);
    showLight(right2, p2);
    outR->outValue = p2 * in2->inValue + p1 * in1->inValue;
    showLight(left1, 1.f - p1);
    showLight(left2, 1.f - p2);
    outL->outValue = (1.f - p1) * in1->inValue + (1.f - p2) * in2->inValue;
}
