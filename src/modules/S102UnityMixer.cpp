#include "modules/S102UnityMixer.h"

#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = kWidth / 2;
}  // namespace

S102UnityMixer::S102UnityMixer(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S102UnityMixer.png", kWidth, kHeight)) {
    for (int i = 0; i < 4; ++i) ins[i] = legend(addJack(kCentreX, 58 + 43 * i, kJackInput),
            "IN " + std::to_string(i + 1));
    out = legend(addJack(kCentreX, 230, kJackOutput), "OUT");
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S102UnityMixer::process() {
    out->outValue = ins[0]->inValue + ins[1]->inValue + ins[2]->inValue + ins[3]->inValue;
}
