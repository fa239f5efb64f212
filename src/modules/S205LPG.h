#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;
class CVerticalSwitch;

// Low-pass gate: the S201's two-stage loop opened by one cutoff-and-amplitude control,
// a VCA before or after it (or none), drive, a soft limit on the loop node, and an input
// envelope follower that scales the filter's memory so it falls silent soon after the
// input does.
class S205LPG : public Module {
public:
    explicit S205LPG(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S205 Low Pass Gate", 1000)

    // Audio thread, lock held.
    void process() override;
    // Lock held; the filter states carry over.
    void setSampleRate(float rate) override;
    // The mode switch: mouse, host automation and preset loading all come here.
    void controlChanged(CControl* control) override;

private:
    enum Mode { kPre, kPost, kFilter };

    ModuleKnob* level;
    ModuleKnob* amount;
    ModuleKnob* cv2Depth;
    ModuleKnob* drive;
    ModuleKnob* resonance;
    PatchPoint* audioIn;
    PatchPoint* amountIn;
    PatchPoint* amountIn2;
    PatchPoint* driveIn;
    PatchPoint* output;
    CVerticalSwitch* modeSwitch;

    float s1 = 0.f, s2 = 0.f;
    float env = 0.f;
    int mode = kPost;
    float frequencyScale;
    float guard = 1e-13f;
    KnobWatch knobs;
};
