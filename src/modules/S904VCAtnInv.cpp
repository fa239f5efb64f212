#include "modules/S904VCAtnInv.h"

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kX = kWidth / 2;
}  // namespace

S904VCAtnInv::S904VCAtnInv(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S904VCAtnInv.png", kWidth, kHeight)) {
    cvIn = legend(addJack(kX, 76, kJackInput), "ATN CV");
    amount = legend(addKnob(kX, 116, 0.f), "ATN");
    in = legend(addJack(kX, 162, kJackInput), "IN");
    out = legend(addJack(kX, 205, kJackOutput), "OUT");
    invOut = legend(addJack(kX, 248, kJackOutput), "-OUT");
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S904VCAtnInv::process() {
    amount->smoothToValue();
    double gain = amount->smoothedValue;
    // A patched CV closes the amplifier at and below 0: it never inverts.
    if (cvIn->connectionCount > 0) gain = cvIn->inValue > 0.f ? gain * cvIn->inValue : 0.0;
    const float v = (float)((double)in->inValue * gain);
    out->outValue = v;
    invOut->outValue = -v;
}
