#pragma once

#include "framework/Module.h"

class ModuleKnob;

// Noise source: uniform white noise, a one-pole low-passed "pink" noise, and a radio
// noise from a clipped second-order recursion whose feedback the pink state modulates.
class S303Noise : public Module {
public:
    explicit S303Noise(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S303 Noise", 1000)

    // Audio thread, lock held.
    void process() override;

private:
    ModuleKnob* radio;
    PatchPoint* radioOut;
    PatchPoint* whiteOut;
    PatchPoint* pinkOut;

    float pink = 0.f;
    float y1 = 0.f, y2 = 0.f;  // the two previous radio outputs
};
