#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Two input jacks to host main outputs 1 and 2, each through a squared-law gain knob
// (silence to unity). SA052DAW12dbAmp is the same with four times the gain.
class SA022DAW : public Module {
public:
    explicit SA022DAW(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA02 2 DAW", 1000)
    bool writesDawOutput() const override { return true; }
    void process() override;
    // The host hears the last writer of each sample.
    int blockMode() const override { return kBlockInOrder; }
    void processBlock(int first, int n) override;
    void processPass() override;

protected:
    struct Layout {
        int knobR, knobL, jackR, jackL;
    };
    SA022DAW(Patch* editor, const char* panel, const Layout& layout, double gainScale);

private:
    template <class Jacks>
    void step(const Jacks& io);
    ModuleKnob* gainR;
    ModuleKnob* gainL;
    PatchPoint* inR;
    PatchPoint* inL;
    double gainScale;
    KnobWatch knobs;
    double gainFactorL = 0.0, gainFactorR = 0.0;  // gainScale * gain^2, per side
};
