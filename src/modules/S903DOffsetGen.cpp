#include "modules/S903DOffsetGen.h"

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kX = kWidth / 2;
}  // namespace

S903DOffsetGen::S903DOffsetGen(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S903DOffsetGen.png", kWidth, kHeight)) {
    // Mid-travel is no offset.
    offset1 = legend(addKnob(kX, 55, 0.5f), "OFFSET 1");
    in1 = legend(addJack(kX, 98, kJackInput), "IN 1");
    out1 = legend(addJack(kX, 135, kJackOutput), "OUT 1");
    offset2 = legend(addKnob(kX, 184, 0.5f), "OFFSET 2");
    in2 = legend(addJack(kX, 228, kJackInput), "IN 2");
    out2 = legend(addJack(kX, 265, kJackOutput), "OUT 2");
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S903DOffsetGen::process() {
    if (knobs.moving()) {
        offset1->smoothToValue();
        offset2->smoothToValue();
        knobs.settle(offset1, offset2);
    }
    out1->outValue = (float)((double)in1->inValue + offset1->smoothedValue * 2.0 - 1.0);
    out2->outValue = (float)((double)in2->inValue + offset2->smoothedValue * 2.0 - 1.0);
}
