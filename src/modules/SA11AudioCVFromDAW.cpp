#include "modules/SA11AudioCVFromDAW.h"

#include "engine/Vantorel.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kLeftX = 24, kRightX = 72;
constexpr int kRowY[5] = {58, 101, 144, 187, 230};
}  // namespace

SA11AudioCVFromDAW::SA11AudioCVFromDAW(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor,
             SharedBitmaps::panel("SA11AudioCVFromDAW.png", kWidth, kHeight)) {
    // The right column is built first: that is the saved order presets rely on.
    for (int row = 0; row < 5; ++row) channel[2 * row + 1] = legend(addJack(kRightX, kRowY[row], kJackOutput),
            "CH " + std::to_string(2 * row + 2));
    for (int row = 0; row < 5; ++row) channel[2 * row] = legend(addJack(kLeftX, kRowY[row], kJackOutput),
            "CH " + std::to_string(2 * row + 1));
    addScrews();
    setJackValues(0.f);
}

void SA11AudioCVFromDAW::process() {
    // The host sample index holds still across oversamples: a zero-order hold.
    const int i = synth->sampleIndex;
    for (int k = 0; k < kChannels; ++k) channel[k]->outValue = synth->inputs[k][i];
}
