#include "modules/S910UTools.h"

#include <cmath>

#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
}  // namespace

S910UTools::S910UTools(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S910UTools.png", kWidth, kHeight)) {
    for (int i = 0; i < 5; ++i) ins[i] = legend(addJack(17, 58 + 43 * i, kJackInput), "IN " + std::to_string(i + 1));
    invert1 = legend(addJack(48, 58, kJackOutput), "INV 1");
    invert2 = legend(addJack(48, 101, kJackOutput), "INV 2");
    rectify = legend(addJack(79, 58, kJackOutput), "RECT");
    halfRectify = legend(addJack(79, 101, kJackOutput), "HRECT");
    square = legend(addJack(63, 144, kJackOutput), "SQUARE");
    cube = legend(addJack(63, 187, kJackOutput), "CUBE");
    perpend = legend(addJack(63, 230, kJackOutput), "PERP");
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S910UTools::process() {
    const float a = ins[0]->inValue, b = ins[1]->inValue, c = ins[2]->inValue, d = ins[3]->inValue,
                e = ins[4]->inValue;
    invert1->outValue = -a;
    rectify->outValue = std::fabs(a);
    invert2->outValue = -b;
    halfRectify->outValue = b > 0.f ? b : 0.f;
    square->outValue = c * c;
    cube->outValue = d * d * d;
    // Folds each half towards the other end: 0 -> 1, 1 -> 0, -1 -> 0.
    perpend->outValue = e >= 0.f ? 1.f - e : -1.f - e;
}
