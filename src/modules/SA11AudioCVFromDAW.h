#pragma once

#include "framework/Module.h"

// All ten host input channels on output jacks, for audio or control signals alike.
class SA11AudioCVFromDAW : public Module {
public:
    static constexpr int kChannels = 10;

    explicit SA11AudioCVFromDAW(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA11 Audio/CV From DAW", 1000)
    // Audio thread, lock held.
    void process() override;

private:
    // Channel order: row by row, left jack before right (host inputs 1 to 10).
    PatchPoint* channel[kChannels];
};
