#pragma once

#include "framework/ClipLight.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Ring modulator whose two inputs each blend between a constant 1 and the signal,
// so it moves from silence through either input alone to the full product.
class S606VCRingMod : public Module {
public:
    explicit S606VCRingMod(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S606 VC Ring Modulator", 1000)
    void process() override;
    void setSampleRate(float rate) override;

private:
    ModuleKnob* carrierLevel;
    ModuleKnob* carrierCvDepth;
    ModuleKnob* modulatorLevel;
    ModuleKnob* modulatorCvDepth;
    PatchPoint* rmPlusCarrierOut;
    PatchPoint* carrierIn;
    PatchPoint* carrierCv;
    PatchPoint* modulatorIn;
    PatchPoint* modulatorCv;
    PatchPoint* rmOut;
    ClipLight clip;
    KnobWatch knobs;
};
