#include "modules/S101Mixer.h"

#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kJackX = 17, kKnobX = 62;
}  // namespace

S101Mixer::S101Mixer(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S101Mixer.png", kWidth, kHeight)) {
    for (int i = 0; i < 4; ++i) ins[i] = legend(addJack(kJackX, 58 + 43 * i, kJackInput),
            "IN " + std::to_string(i + 1));
    out = legend(addJack(kJackX, 230, kJackOutput), "OUT");
    for (int i = 0; i < 4; ++i) levels[i] = legend(addKnob(kKnobX, 55 + 43 * i, 0.5f),
            "LEVEL " + std::to_string(i + 1));
    outLevel = legend(addKnob(kKnobX, 227, 0.5f), "OUT LEVEL");
    response = legend(addSwitch(36, 256, 2, 0.f), "LIN/SQR");
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void S101Mixer::process() { step(PassJacks{}); }
void S101Mixer::processPass() { step(SourceJacks{}); }

void S101Mixer::processBlock(int first, int n) {
    if (knobs.moving()) return runByPasses(*this, first, n);
    runBlock(n, [this](const BlockJacks& io) { step(io); }, out);
}

// A block runs this only with the knobs at rest.
template <class Jacks>
inline void S101Mixer::step(const Jacks& io) {
    if (!Jacks::kBlock && knobs.moving()) {
        for (ModuleKnob* k : levels) k->smoothToValue();
        outLevel->smoothToValue();
        knobs.settle(levels[0], levels[1], levels[2], levels[3], outLevel);
    }
    const bool squared = response->getValue() == 1.f;
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double k = levels[i]->smoothedValue;
        sum += (double)io.in(ins[i]) * (squared ? k * k : k);
    }
    out->outValue = (float)(outLevel->smoothedValue * sum);
}
