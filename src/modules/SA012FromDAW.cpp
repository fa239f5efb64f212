#include "modules/SA012FromDAW.h"

#include "engine/Vantorel.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
// Controls sit one pixel left of the panel's middle.
constexpr int kCentreX = kWidth / 2 - 1;
}  // namespace

SA012FromDAW::SA012FromDAW(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SA012FromDAW.png", kWidth, kHeight)) {
    outR = legend(addJack(kCentreX, 106, kJackOutput), "RIGHT");
    outL = legend(addJack(kCentreX, 208, kJackOutput), "LEFT");
    addScrews();
    setJackValues(0.f);
}

void SA012FromDAW::process() {
    // The host sample index holds still across oversamples: a zero-order hold.
    const int i = synth->sampleIndex;
    outL->outValue = synth->inputs[0][i];
    outR->outValue = synth->inputs[1][i];
}
