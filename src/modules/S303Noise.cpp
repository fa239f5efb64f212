#include "modules/S303Noise.h"

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"

namespace {

constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = kWidth / 2;
// Jacks sit one pixel left of the centre line, where the panel art has its holes.
constexpr int kJackX = kCentreX - 1;

}  // namespace

S303Noise::S303Noise(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S303Noise.png", kWidth, kHeight)) {
    radio = legend(addKnob(kCentreX, 73, 0.5f), "RADIO");
    radioOut = legend(addJack(kJackX, 124, kJackOutput), "RADIO");
    whiteOut = legend(addJack(kJackX, 199, kJackOutput), "WHITE");
    pinkOut = legend(addJack(kJackX, 252, kJackOutput), "PINK");
    addScrews();
    setJackValues(0.f);
}

void S303Noise::process() {
    // One draw per sample whatever is patched, so the shared sequence advances the same.
    const float w = (float)(nextRandomSeed() * 4.656612873077393e-10 * 2.0 - 1.0);
    whiteOut->outValue = w;

    pink = (float)(0.97 * pink + 0.5 * w);
    pinkOut->outValue = 0.3f * pink;

    if (radioOut->connectionCount <= 0) return;
    // The knob is read as it stands: the recursion is meant to jump with it.
    const float k = radio->getValue();
    float y = (w - y1) * (0.48f - 2.48f * k) - 0.5f * w - y2 * pink;
    y = y > -1.f ? y : -1.f;
    y = y < 1.f ? y : 1.f;
    radioOut->outValue = y;
    y2 = y1;
    y1 = y;
}
