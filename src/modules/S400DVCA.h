#pragma once

#include "framework/ClipLight.h"
#include "framework/Module.h"

// Two linear VCAs (CV 0.5 is unity). While CV 2 has no cable, CV 1 pans: positive
// opens channel 1, negative opens channel 2.
class S400DVCA : public Module {
public:
    explicit S400DVCA(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S400 Dual VCA", 1001)
    void process() override;
    void setSampleRate(float rate) override;

private:
    PatchPoint* in1;
    PatchPoint* cv1;
    PatchPoint* out1;
    PatchPoint* in2;
    PatchPoint* cv2;
    PatchPoint* out2;
    ClipLight clip[2];
};
