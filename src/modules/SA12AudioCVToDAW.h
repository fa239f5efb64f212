#pragma once

#include "framework/Module.h"

// Ten input jacks written straight into host outputs 3 to 12, past the decimation
// filter: with oversampling the last oversample of each host sample wins.
class SA12AudioCVToDAW : public Module {
public:
    static constexpr int kChannels = 10;

    explicit SA12AudioCVToDAW(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA12 Audio/CV To DAW", 1000)
    // Audio thread, lock held.
    void process() override;

private:
    // Channel order: row by row, left jack before right (host outputs 3 to 12).
    PatchPoint* channel[kChannels];
};
