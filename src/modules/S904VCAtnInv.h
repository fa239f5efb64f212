#pragma once

#include "framework/Module.h"

class ModuleKnob;

// Attenuates its input by a knob, and by a CV when one is patched; a second output
// carries the same signal inverted.
class S904VCAtnInv : public Module {
public:
    explicit S904VCAtnInv(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S904 VC Attenuator/Inverter", 1000)
    void process() override;

private:
    PatchPoint* cvIn;
    ModuleKnob* amount;
    PatchPoint* in;
    PatchPoint* out;
    PatchPoint* invOut;
};
