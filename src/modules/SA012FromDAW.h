#pragma once

#include "framework/Module.h"

// Host audio inputs 1 and 2 on two output jacks (right above left).
class SA012FromDAW : public Module {
public:
    explicit SA012FromDAW(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA01 2 From DAW", 1000)
    void process() override;

private:
    PatchPoint* outR;
    PatchPoint* outL;
};
