#include "modules/S605RMAM.h"

#include "framework/PatchPoint.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
// Every jack uses the first strip (25 pixels wide), centred on the panel.
constexpr const char* kJackArt = "patchpoint1.png";
constexpr int kJackArtWidth = 25;
constexpr int kJackX = (kWidth - kJackArtWidth) / 2 + kJackArtWidth / 2;
}  // namespace

S605RMAM::S605RMAM(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S605RMAM.png", kWidth, kHeight)) {
    // The art is fixed, but the shared sequence moves on per jack as on every other
    // panel, so the jacks of modules built later look the same as before.
    auto fixedJack = [this](int cy, int direction) {
        nextRandom();
        return addJackWith(kJackArt, kJackX, cy, direction);
    };
    carrierIn = legend(fixedJack(58, kJackInput), "CARRIER");
    modulatorIn = legend(fixedJack(101, kJackInput), "MOD");
    rmOut = legend(fixedJack(187, kJackOutput), "RM OUT");
    amOut = legend(fixedJack(230, kJackOutput), "AM OUT");
    clip.attach(addLight("led_red.png", 10, 262));
    addScrews();
    setJackValues(0.f);
    clip.setSampleRate(sampleRate);
}

void S605RMAM::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    clip.setSampleRate(sampleRate);
}

// Audio thread, lock held.
void S605RMAM::process() {
    const float carrier = carrierIn->inValue;
    const float r = carrier * modulatorIn->inValue;
    rmOut->outValue = clip.limit(r);
    if (amOut->connectionCount > 0) amOut->outValue = clip.limit(carrier + r);
    clip.tick();
}
