#pragma once

#include "framework/ClipLight.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Two-channel VCA with a linear, exponential or logarithmic CV response, input
// levels, an initial gain and a crossfade of the two outputs on Mix.
class S404VCA : public Module {
public:
    explicit S404VCA(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S404 VCA", 1001)
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    void setSampleRate(float rate) override;

private:
    template <class Jacks>
    void step(const Jacks& io);
    static double gainOf(float mode, double c, double k, double a);
    template <int Mode, bool Second, bool Mix>
    void restingBlock(int n);
    static float amplified(float in, double level, float gain);
    template <class Pass>
    int linearFour(int n, double k, double a, double l1, ClipLight& light, float& o1, bool& open, Pass& pass);
    PatchPoint* in1;
    PatchPoint* in2;
    PatchPoint* cvIn;
    PatchPoint* xfadeIn;
    PatchPoint* mixOut;
    PatchPoint* out1;
    PatchPoint* out2;
    ModuleKnob* level1;
    ModuleKnob* level2;
    ModuleKnob* cvAmount;
    ModuleKnob* amp;
    CVerticalSwitch* response;
    ClipLight clip;
    KnobWatch knobs;
};
