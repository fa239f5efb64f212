#include "modules/S806VCSeqSw.h"

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kJackX[2] = {17, 63};
constexpr int kSwitchedY[2] = {187, 230};
constexpr int kLedX[2] = {37, 83};
constexpr float kHigh = 0.25f;
// Beyond this an offset no longer fits an int32 (and NaN never compares inside it).
constexpr float kOffsetLimit = 1073741824.f;
}  // namespace

S806VCSeqSw::S806VCSeqSw(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S806VCSeqSw.png", kWidth, kHeight)) {
    forwardIn = legend(addJack(kJackX[0], 58, kJackInput), "FWD");
    backwardIn = legend(addJack(kJackX[1], 58, kJackInput), "BACK");
    cvIn = legend(addJack(kJackX[0], 101, kJackInput), "CV");
    cvAmount = legend(addKnob(62, 98, 0.f), "CV AMT");
    common = legend(addJack(kJackX[0], 144, kJackEither), "COMMON");
    resetIn = legend(addJack(kJackX[1], 144, kJackInput), "RESET");
    for (int i = 0; i < kWays; ++i) switched[i] = legend(addJack(kJackX[i % 2], kSwitchedY[i / 2], kJackEither),
            "I/O " + std::to_string(i + 1));
    for (int i = 0; i < kWays; ++i) leds[i] = addLight("led_blue.png", kLedX[i % 2], kSwitchedY[i / 2] - 2);
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S806VCSeqSw::process() {
    const float forward = forwardIn->inValue, backward = backwardIn->inValue;
    if (resetIn->inValue >= kHigh) {
        position = 0;
    } else {
        if (forward >= kHigh && prevForward < kHigh) position = (position + 1) % kWays;
        if (backward >= kHigh && prevBackward < kHigh) position = position > 0 ? position - 1 : kWays - 1;
    }
    prevForward = forward;
    prevBackward = backward;

    const float offset = (float)position + cvIn->inValue * 4.f * cvAmount->getValue();
    // A runaway or NaN CV leaves the stepped position alone instead of overflowing.
    const int32_t s = offset > -kOffsetLimit && offset < kOffsetLimit ? (int32_t)offset : position;
    const int32_t selected = ((s % kWays) + kWays) % kWays;

    PatchPoint* jack = switched[selected];
    jack->outValue = common->inValue;
    common->outValue = jack->inValue;
    if (selected != litLed) showLight(leds[litLed], 0.f);
    showLight(leds[selected], 1.f);
    litLed = selected;
}

void S806VCSeqSw::loadState(const int32_t* words, int byteCount, int version) {
    // The CV amount comes back with the record; the lights start dark and the next
    // pass lights the selected jack.
    Module::loadState(words, byteCount, version);
    for (CMovieBitmap* led : leds) showLight(led, 0.f);
}
