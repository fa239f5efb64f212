#include "modules/S400DVCA.h"

#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kJackX = 24, kLedX = 37, kLedSize = 12, kLedFrames = 5;
constexpr float kClip = 4.f;
constexpr double kHoldSeconds = 0.2;
}  // namespace

S400DVCA::S400DVCA(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S400DVCA.png", kWidth, kHeight)) {
    in1 = addJack(kJackX, 40, kJackInput);
    cv1 = addJack(kJackX, 83, kJackInput);
    out1 = addJack(kJackX, 126, kJackOutput);
    in2 = addJack(kJackX, 169, kJackInput);
    cv2 = addJack(kJackX, 212, kJackInput);
    out2 = addJack(kJackX, 255, kJackOutput);
    CBitmap* red = SharedBitmaps::get("led_red.png");
    const int ledY[2] = {107, 236};
    for (int i = 0; i < 2; ++i) {
        clipLed[i] = new CMovieBitmap(CRect::fromSize(kLedX - kLedSize / 2, ledY[i] - kLedSize / 2, kLedSize, kLedSize),
                                      editor->controlListener(), kTagNoParameter, kLedFrames, kLedSize, red);
        addView(clipLed[i]);
    }
    addScrews();
    setJackValues(0.f);
    holdLength = (int)((double)sampleRate * kHoldSeconds);
}

void S400DVCA::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    holdLength = (int)((double)sampleRate * kHoldSeconds);
}

float S400DVCA::limit(double v, int channel) {
    float out = (float)v;
    if (out > kClip) out = kClip;
    else if (out < -kClip) out = -kClip;
    else return out;
    if (clipLed[channel]->getValue() != 1.f) clipLed[channel]->setValue(1.f);
    clipHold[channel] = holdLength;
    return out;
}

void S400DVCA::process() {
    const float c1 = cv1->inValue, c2 = cv2->inValue;
    float o1 = 0.f, o2 = 0.f;
    if (cv2->connectionCount != 0) {
        if (c1 > 0.f) o1 = limit((double)in1->inValue * 2.0 * c1, 0);
        if (c2 > 0.f) o2 = limit((double)in2->inValue * 2.0 * c2, 1);
    } else if (c1 > 0.f) {
        o1 = limit((double)in1->inValue * 2.0 * c1, 0);
    } else {
        o2 = limit((double)in2->inValue * 2.0 * -(double)c1, 1);
    }
    out1->outValue = o1;
    out2->outValue = o2;
    for (int i = 0; i < 2; ++i) {
        // The light stays on for the whole hold after the last clipped sample.
        if (clipHold[i] != 0) --clipHold[i];
        else if (clipLed[i]->getValue() != 0.f) clipLed[i]->setValue(0.f);
    }
}
