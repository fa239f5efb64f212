#pragma once

#include "framework/Module.h"

class CMovieBitmap;

// Three logic inputs: each one's inverse, and AND, OR, NAND, NOR, XOR, XNOR of all
// three, each output mirrored by a light.
class SC03LogicTools : public Module {
public:
    explicit SC03LogicTools(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SC03 Logic Tools", 1000)
    void process() override;

    enum Output { kAnd, kOr, kNand, kNor, kXor, kXnor, kGateOutputs };

private:
    PatchPoint* ins[3];
    PatchPoint* invs[3];
    PatchPoint* gates[kGateOutputs];
    CMovieBitmap* invLeds[3];
    CMovieBitmap* gateLeds[kGateOutputs];
};
