#include "modules/SA12AudioCVToDAW.h"

#include "engine/Vantorel.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kLeftX = 24, kRightX = 72;
constexpr int kRowY[5] = {58, 101, 144, 187, 230};
// Host outputs 1 and 2 belong to the main stereo bridges.
constexpr int kFirstOutput = 2;
}  // namespace

SA12AudioCVToDAW::SA12AudioCVToDAW(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor,
             SharedBitmaps::panel("SA12AudioCVToDAW_NoOvers.png", kWidth, kHeight)) {
    // The right column is built first: that is the saved order presets rely on.
    for (int row = 0; row < 5; ++row) channel[2 * row + 1] = legend(addJack(kRightX, kRowY[row], kJackInput),
            "CH " + std::to_string(2 * row + 4));
    for (int row = 0; row < 5; ++row) channel[2 * row] = legend(addJack(kLeftX, kRowY[row], kJackInput),
            "CH " + std::to_string(2 * row + 3));
    addScrews();
    setJackValues(0.f);
}

void SA12AudioCVToDAW::process() {
    // Assignment, not sum: the last writer of the pass is what the host gets.
    const int i = synth->sampleIndex;
    for (int k = 0; k < kChannels; ++k) synth->outputs[k + kFirstOutput][i] = channel[k]->inValue;
}
