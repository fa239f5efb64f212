#include "modules/SA022DAW.h"

#include "engine/Vantorel.h"
#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = kWidth / 2 - 1;
}  // namespace

SA022DAW::SA022DAW(Patch* editor) : SA022DAW(editor, "SA022DAW.png", Layout{55, 157, 106, 208}, 1.0) {}

SA022DAW::SA022DAW(Patch* editor, const char* panel, const Layout& layout, double gainScale)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel(panel, kWidth, kHeight)),
      gainScale(gainScale) {
    gainR = legend(addKnob(kCentreX, layout.knobR, 0.5f), "GAIN R");
    gainL = legend(addKnob(kCentreX, layout.knobL, 0.5f), "GAIN L");
    inR = legend(addJack(kCentreX, layout.jackR, kJackInput), "RIGHT");
    inL = legend(addJack(kCentreX, layout.jackL, kJackInput), "LEFT");
    addScrews();
    setJackValues(0.f);
}

void SA022DAW::process() { step(PassJacks{}); }
void SA022DAW::processPass() { step(SourceJacks{}); }

template <class Jacks>
inline void SA022DAW::step(const Jacks& io) {
    if (knobs.moving()) {
        gainL->smoothToValue();
        gainR->smoothToValue();
        knobs.settle(gainL, gainR);
        // The knobs' part of the product, grouped as the whole product is.
        const double l = gainL->smoothedValue, r = gainR->smoothedValue;
        gainFactorL = gainScale * l * l;
        gainFactorR = gainScale * r * r;
    }
    // Assignment, not sum: the last writer of the pass is what the host hears.
    *synth->curOutL = (float)(gainFactorL * io.in(inL));
    *synth->curOutR = (float)(gainFactorR * io.in(inR));
}

void SA022DAW::processBlock(int first, int n) {
    if (knobs.moving()) return runByPasses(*this, first, n);
    const double gl = gainFactorL, gr = gainFactorR;
    const float* const l = inL->blockIn;
    const float* const r = inR->blockIn;
    float* const hostL = synth->passOutL + first;
    float* const hostR = synth->passOutR + first;
    for (int i = 0; i < n; ++i) {
        hostL[i] = (float)(gl * l[i]);
        hostR[i] = (float)(gr * r[i]);
    }
}
