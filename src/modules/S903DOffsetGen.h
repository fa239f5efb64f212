#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Two channels, each adding an offset from -1 to +1 to its input.
class S903DOffsetGen : public Module {
public:
    explicit S903DOffsetGen(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S903 Dual Offset Generator", 1000)
    void process() override;

private:
    ModuleKnob* offset1;
    PatchPoint* in1;
    PatchPoint* out1;
    ModuleKnob* offset2;
    PatchPoint* in2;
    PatchPoint* out2;
    KnobWatch knobs;
};
