#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Two mono inputs, each placed in a stereo pair by a knob plus a scaled CV, summed.
class S110DPan : public Module {
public:
    explicit S110DPan(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S110 Dual VC Panner", 1000)
    void process() override;

private:
    PatchPoint* in1;
    PatchPoint* cv1;
    PatchPoint* in2;
    PatchPoint* cv2;
    PatchPoint* outL;
    PatchPoint* outR;
    ModuleKnob* pan1;
    ModuleKnob* cvAmount1;
    ModuleKnob* pan2;
    ModuleKnob* cvAmount2;
    CControl* left1;
    CControl* right1;
    CControl* left2;
    CControl* right2;
    KnobWatch knobs;
};
