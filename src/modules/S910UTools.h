#pragma once

#include "framework/Module.h"

// Five one-input shapers: two inverters (one with a full-wave, one with a half-wave
// rectifier beside it), square, cube and a fold around zero.
class S910UTools : public Module {
public:
    explicit S910UTools(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S910 Unary Tools", 1000)
    void process() override;

private:
    PatchPoint* ins[5];
    PatchPoint* invert1;
    PatchPoint* invert2;
    PatchPoint* rectify;
    PatchPoint* halfRectify;
    PatchPoint* square;
    PatchPoint* cube;
    PatchPoint* perpend;
};
