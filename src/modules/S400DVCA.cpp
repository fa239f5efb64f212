#include "modules/S400DVCA.h"

#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kJackX = 24, kLedX = 37;
}  // namespace

S400DVCA::S400DVCA(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S400DVCA.png", kWidth, kHeight)) {
    in1 = legend(addJack(kJackX, 40, kJackInput), "IN 1");
    cv1 = legend(addJack(kJackX, 83, kJackInput), "CV 1");
    out1 = legend(addJack(kJackX, 126, kJackOutput), "OUT 1");
    in2 = legend(addJack(kJackX, 169, kJackInput), "IN 2");
    cv2 = legend(addJack(kJackX, 212, kJackInput), "CV 2");
    out2 = legend(addJack(kJackX, 255, kJackOutput), "OUT 2");
    clip[0].attach(addLight("led_red.png", kLedX, 107));
    clip[1].attach(addLight("led_red.png", kLedX, 236));
    addScrews();
    setJackValues(0.f);
    for (ClipLight& c : clip) c.setSampleRate(sampleRate);
}

void S400DVCA::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    for (ClipLight& c : clip) c.setSampleRate(sampleRate);
}

void S400DVCA::process() {
    const float c1 = cv1->inValue, c2 = cv2->inValue;
    float o1 = 0.f, o2 = 0.f;
    // Products in double precision, rounded once before the limit.
    if (cv2->connectionCount != 0) {
        if (c1 > 0.f) o1 = clip[0].limit((float)((double)in1->inValue * 2.0 * c1));
        if (c2 > 0.f) o2 = clip[1].limit((float)((double)in2->inValue * 2.0 * c2));
    } else if (c1 > 0.f) {
        o1 = clip[0].limit((float)((double)in1->inValue * 2.0 * c1));
    } else {
        o2 = clip[1].limit((float)((double)in2->inValue * 2.0 * -(double)c1));
    }
    out1->outValue = o1;
    out2->outValue = o2;
    clip[0].tick();
    clip[1].tick();
}
