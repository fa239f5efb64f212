#pragma once

#include "framework/ClipLight.h"
#include "framework/Module.h"

// Fixed ring and amplitude modulator: the product of its two inputs, and that
// product plus the carrier.
class S605RMAM : public Module {
public:
    explicit S605RMAM(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S605 RM/AM", 1000)
    void process() override;
    void setSampleRate(float rate) override;

private:
    PatchPoint* carrierIn;
    PatchPoint* modulatorIn;
    PatchPoint* rmOut;
    PatchPoint* amOut;
    ClipLight clip;
};
