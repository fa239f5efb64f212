#include "modules/S606VCRingMod.h"

#include <algorithm>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kJackX = 17;
}  // namespace

S606VCRingMod::S606VCRingMod(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S606VCRingMod.png", kWidth, kHeight)) {
    carrierLevel = legend(addKnob(kKnobX, 55, 1.f), "CAR LEV");
    carrierCvDepth = legend(addKnob(kKnobX, 98, 0.f), "CAR");
    modulatorLevel = legend(addKnob(kKnobX, 141, 1.f), "MOD LEV");
    modulatorCvDepth = legend(addKnob(kKnobX, 184, 0.f), "MOD");
    rmPlusCarrierOut = legend(addJack(63, 230, kJackOutput), "RM+CAR");
    carrierIn = legend(addJack(kJackX, 58, kJackInput), "CAR IN");
    carrierCv = legend(addJack(kJackX, 101, kJackInput), "CAR CV");
    modulatorIn = legend(addJack(kJackX, 144, kJackInput), "MOD IN");
    modulatorCv = legend(addJack(kJackX, 187, kJackInput), "MOD CV");
    rmOut = legend(addJack(kJackX, 230, kJackOutput), "RM OUT");
    clip.attach(addLight("led_red.png", 10, 262));
    addScrews();
    setJackValues(0.f);
    clip.setSampleRate(sampleRate);
}

void S606VCRingMod::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    clip.setSampleRate(sampleRate);
}

// Audio thread, lock held.
void S606VCRingMod::process() {
    if (knobs.moving()) {
        carrierLevel->smoothToValue();
        carrierCvDepth->smoothToValue();
        modulatorLevel->smoothToValue();
        modulatorCvDepth->smoothToValue();
        knobs.settle(carrierLevel, carrierCvDepth, modulatorLevel, modulatorCvDepth);
    }
    // Amounts are left unclamped: CV may push a blend past either end.
    const double a = carrierCv->inValue * carrierCvDepth->smoothedValue + carrierLevel->smoothedValue;
    const double b = modulatorCv->inValue * modulatorCvDepth->smoothedValue + modulatorLevel->smoothedValue;
    const double carrier = carrierIn->inValue;
    // The - 1 + max(a, b) term removes the constant left when an amount is below 1,
    // so that both amounts at 0 give silence rather than 1.
    const double y = (b * modulatorIn->inValue + (1.0 - b)) * (a * carrier + (1.0 - a)) - 1.0 + std::max(a, b);
    const float limited = clip.limit((float)y);
    rmOut->outValue = limited;
    if (rmPlusCarrierOut->connectionCount > 0) rmPlusCarrierOut->outValue = clip.limit(limited + carrierIn->inValue);
    clip.tick();
}
