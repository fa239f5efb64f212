#pragma once

#include "framework/Module.h"

// Plain sum of four inputs.
class S102UnityMixer : public Module {
public:
    explicit S102UnityMixer(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S102 Unity Mixer", 1000)
    void process() override;

private:
    PatchPoint* ins[4];
    PatchPoint* out;
};
